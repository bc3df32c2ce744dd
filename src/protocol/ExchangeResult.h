#pragma once
#include <string>

namespace kv {

// 0 is success; every other value names one failure. It indexes ExchangeMessages.
using ExchangeResult = int;
constexpr int kExchangeResultCount = 51;

// The fixed text shown to the user for a result ("" for values outside 0..50).
const std::string& exchangeMessage(ExchangeResult r);

} // namespace kv
