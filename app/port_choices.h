// The entries of the port list.
#pragma once

#include <QStringList>

namespace tarvex {

// "COM1" to "COM8" in this order, then `adapters` as given.
QStringList PortChoices(const QStringList& adapters);

// The USB serial adapters present now (device paths); none where the platform lists none.
QStringList FoundSerialAdapters();

}  // namespace tarvex
