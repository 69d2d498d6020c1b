#include "cli/session_end.h"

#include <ostream>

#include "cli/auto_port.h"
#include "link/port_list.h"

namespace tarvex::cli {

namespace {

ReportContext ContextFor(const PortResult& port, const SessionEnd& end, const std::string& host,
                         const std::vector<SerialAdapter>& adapters) {
  ReportContext context;
  context.kind = end.kind;
  context.image = end.image;
  context.host = host;
  context.device = ResolvedDevice(port.port);
  if (const auto adapter = AdapterForDevice(context.device, adapters); adapter && adapter->usb) {
    context.usbSerial = adapter->usb->serial;
  }
  return context;
}

bool AppendRecords(const std::vector<PortResult>& ports, const SessionEnd& end, Io io) {
  const std::string host = HostName();
  const auto adapters = ListUsbSerialAdapters();
  for (const PortResult& port : ports) {
    const OsError error =
        end.report->AppendLine(JsonLine(ReportRecord(port, ContextFor(port, end, host, adapters))));
    if (error) {
      io.err << "tarvex-cli: cannot append to the report file " << end.report->Path() << ": "
             << error.Message() << '\n';
      return false;
    }
  }
  return true;
}

}  // namespace

bool EndSession(const std::vector<PortResult>& ports, const SessionEnd& end, Io io) {
  std::size_t ok = 0;
  for (const PortResult& port : ports) {
    if (end.trace != nullptr) {
      end.trace->Write(EndRecord(port, end.kind));
    }
    io.out << SummaryLine(port, end.kind, end.image) << '\n';
    ok += port.outcome == Goal(end.kind) ? 1 : 0;
  }
  if (ports.size() > 1) {
    io.out << ok << " of " << ports.size() << " ports OK\n";
  }
  const bool traceKept = end.trace == nullptr || end.trace->Kept(io.err);
  const bool reportKept = end.report == nullptr || AppendRecords(ports, end, io);
  return traceKept && reportKept;
}

}  // namespace tarvex::cli
