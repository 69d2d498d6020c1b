#include "link/serial_reader.h"

namespace tarvex {

LineErrorCounts LineErrorCounts::operator-(const LineErrorCounts& earlier) const {
  return {framing - earlier.framing, parity - earlier.parity, overrun - earlier.overrun,
          breaks - earlier.breaks};
}

LineErrorCounts& LineErrorCounts::operator+=(const LineErrorCounts& more) {
  framing += more.framing;
  parity += more.parity;
  overrun += more.overrun;
  breaks += more.breaks;
  return *this;
}

std::string Describe(const LineErrorCounts& counts) {
  return std::to_string(counts.framing) + " framing, " + std::to_string(counts.parity) +
         " parity, " + std::to_string(counts.overrun) + " overrun, " +
         std::to_string(counts.breaks) + " break(s)";
}

}  // namespace tarvex
