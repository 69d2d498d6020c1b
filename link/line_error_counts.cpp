#include "link/serial_reader.h"

namespace tarvex {

LineErrorCounts LineErrorCounts::operator-(const LineErrorCounts& earlier) const {
  return {framing - earlier.framing, parity - earlier.parity, overrun - earlier.overrun,
          breaks - earlier.breaks};
}

std::string Describe(const LineErrorCounts& counts) {
  return std::to_string(counts.framing) + " framing, " + std::to_string(counts.parity) +
         " parity, " + std::to_string(counts.overrun) + " overrun, " +
         std::to_string(counts.breaks) + " break(s)";
}

}  // namespace tarvex
