#include "app/port_choices.h"

#include <QFile>

#include "link/port_list.h"

namespace tarvex {

QStringList PortChoices(const QStringList& adapters) {
  QStringList choices;
  for (int n = 1; n <= COM_PORT_COUNT; ++n) {
    choices.append(QStringLiteral("COM%1").arg(n));
  }
  choices.append(adapters);
  return choices;
}

QStringList FoundSerialAdapters() {
  QStringList paths;
  for (const SerialAdapter& adapter : ListUsbSerialAdapters()) {
    paths.append(QFile::decodeName(QByteArray::fromStdString(adapter.path)));
  }
  return paths;
}

}  // namespace tarvex
