#pragma once
#include <string>

namespace kv {

// 0 is success; every other value names one failure. It indexes ExchangeMessages.
using ExchangeResult = int;
constexpr int kExchangeResultCount = 51;

// The fixed text shown to the user for a result ("" for values outside 0..50).
const std::string& exchangeMessage(ExchangeResult r);

// Names for the codes the exchange subsystem produces (the numbers are what callers, logs and
// messages share; the names only make the code readable).
namespace xr {
constexpr ExchangeResult Ok = 0;
constexpr ExchangeResult NoAnswer = 1;            // silence, no 0x04, reply cut short, unknown start
constexpr ExchangeResult NoReceipt = 2;           // no 0x06/0x15 (traditional), no length (FT1.1)
constexpr ExchangeResult NegativeReceipt = 3;     // 0x15: the controller saw a bad request checksum
constexpr ExchangeResult ReplyChecksum = 4;       // traditional reply does not sum to 0
constexpr ExchangeResult NoTrailer = 5;           // FT1.2 trailer missing
constexpr ExchangeResult ModemPowerOff = 6;       // DSR never came on
constexpr ExchangeResult WriteFailed = 8;
constexpr ExchangeResult Cancelled = 9;           // CAN path: the operator cancelled
constexpr ExchangeResult CrcMismatch = 11;
constexpr ExchangeResult NotInCatalog = 14;
constexpr ExchangeResult FormatMismatch = 15;
constexpr ExchangeResult BitOperation = 16;
constexpr ExchangeResult BitNumber = 17;
constexpr ExchangeResult GroupNumber = 18;
constexpr ExchangeResult BadControllerDate = 19;
constexpr ExchangeResult ArchiveNumber = 21;
constexpr ExchangeResult NoDataForPeriod = 22;
constexpr ExchangeResult PassingHour = 23;
constexpr ExchangeResult PassingDay = 24;
constexpr ExchangeResult ControlByte = 30;
constexpr ExchangeResult Address = 31;
constexpr ExchangeResult LengthMismatch = 33;
constexpr ExchangeResult SecondStart = 34;
constexpr ExchangeResult EndByte = 35;
constexpr ExchangeResult FrameChecksum = 36;
constexpr ExchangeResult PositiveReceipt = 37;
constexpr ExchangeResult NegativeFtReceipt = 38;
constexpr ExchangeResult NoDeviceAnswer = 41;     // CAN path
constexpr ExchangeResult TagMismatch = 42;
constexpr ExchangeResult CountMismatch = 43;
constexpr ExchangeResult BadCanDate = 44;
constexpr ExchangeResult CanInitFailed = 46;
constexpr ExchangeResult BadModule = 50;          // also: transact on the CAN adapter channel
} // namespace xr

} // namespace kv
