#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tlv {

// Every keyword on the wire is 20 characters: "%$&", "#" fill, the name, "#".
std::string funMakeToken(std::string_view name);

namespace tok {
// Structural tokens.
inline constexpr std::string_view kMessageEnd = "%$&######MessageEnd#";
inline constexpr std::string_view kPayloadToken = "%$&####PayloadToken#";
// Discovery (UDP, no end token). Twenty characters, twenty bytes in Windows-1252.
inline constexpr std::string_view kFindServer = "%$&#TALVOR@!*£µ¤?§;#";
inline constexpr std::string_view kServerAnswer = "%$&#TALVOR{[°£!^}%~#";

// Inbound, in the order the dispatcher compares them.
inline constexpr std::string_view kAppVersion = "%$&######AppVersion#";
inline constexpr std::string_view kSessionOK = "%$&#######SessionOK#";
inline constexpr std::string_view kSessionNOK = "%$&######SessionNOK#";
inline constexpr std::string_view kPostPaidMode = "%$&####PostPaidMode#";
inline constexpr std::string_view kDefaultRecharges = "%$&DefaultRecharges#";
inline constexpr std::string_view kPasswordAdmin = "%$&###PasswordAdmin#";
inline constexpr std::string_view kRatioDisconCon = "%$&##RatioDisconCon#";
inline constexpr std::string_view kCurrencySymbol = "%$&##CurrencySymbol#";
inline constexpr std::string_view kOffPeakParams = "%$&###OffPeakParams#";
inline constexpr std::string_view kActivateWksn = "%$&####ActivateWksn#";
inline constexpr std::string_view kLockWksn = "%$&########LockWksn#";
inline constexpr std::string_view kSessionClose = "%$&####SessionClose#";
inline constexpr std::string_view kForceConnected = "%$&##ForceConnected#";
inline constexpr std::string_view kWksnMsgOptions = "%$&##WksnMsgOptions#";
inline constexpr std::string_view kActivateSelfServ = "%$&ActivateSelfServ#";
inline constexpr std::string_view kActivateCards = "%$&###ActivateCards#";
inline constexpr std::string_view kActivateClients = "%$&#ActivateClients#";
inline constexpr std::string_view kShutdownWksn = "%$&####ShutdownWksn#";
inline constexpr std::string_view kRechargeCard = "%$&####RechargeCard#";
inline constexpr std::string_view kPauseWksn = "%$&#######PauseWksn#";
inline constexpr std::string_view kPauseLocKWksn = "%$&###PauseLocKWksn#";
inline constexpr std::string_view kPauseFollowWksn = "%$&#PauseFollowWksn#";
inline constexpr std::string_view kUnPauseWksn = "%$&#####UnPauseWksn#";
inline constexpr std::string_view kResumeWksn = "%$&######ResumeWksn#";
inline constexpr std::string_view kNotifyInetCnx = "%$&###NotifyInetCnx#";
inline constexpr std::string_view kNotifyNoInetCnx = "%$&#NotifyNoInetCnx#";
inline constexpr std::string_view kDisableWksn = "%$&#####DisableWksn#";
inline constexpr std::string_view kSessionOpen = "%$&#####SessionOpen#";
inline constexpr std::string_view kFileSend = "%$&########FileSend#";
inline constexpr std::string_view kFileTemp = "%$&########FileTemp#";
inline constexpr std::string_view kSessionFree = "%$&#####SessionFree#";
inline constexpr std::string_view kMessageSend = "%$&#####MessageSend#";
inline constexpr std::string_view kKilledApps = "%$&######KilledApps#";
inline constexpr std::string_view kSEssionCleanup = "%$&##SEssionCleanup#";
inline constexpr std::string_view kSessionID = "%$&#######SessionID#";
inline constexpr std::string_view kHideCardNum = "%$&#####HideCardNum#";
inline constexpr std::string_view kEnablePause = "%$&#####EnablePause#";
inline constexpr std::string_view kServerDate = "%$&######ServerDate#";
inline constexpr std::string_view kSessBatchStart = "%$&##SessBatchStart#";
inline constexpr std::string_view kSessBatchEnd = "%$&####SessBatchEnd#";
inline constexpr std::string_view kSessBatchStyle = "%$&##SessBatchStyle#";
inline constexpr std::string_view kWksnDefaultState = "%$&WksnDefaultState#";
inline constexpr std::string_view kUsageDefault = "%$&####UsageDefault#";
inline constexpr std::string_view kWksnDefaultMode = "%$&#WksnDefaultMode#";
inline constexpr std::string_view kDefaultLanguage = "%$&#DefaultLanguage#";
inline constexpr std::string_view kMsgLogoFilesType = "%$&MsgLogoFilesType#";
inline constexpr std::string_view kPasswordMangr = "%$&###PasswordMangr#";
inline constexpr std::string_view kChatMessage = "%$&#####ChatMessage#";
inline constexpr std::string_view kEmptySerialzdUsr = "%$&EmptySerialzdUsr#";
inline constexpr std::string_view kTalvorConstants = "%$&#TalvorConstants#";
inline constexpr std::string_view kServerHeartBeat = "%$&#ServerHeartBeat#";

// Outbound only.
inline constexpr std::string_view kWorkstationName = "%$&#WorkstationName#";
inline constexpr std::string_view kComputerName = "%$&####ComputerName#";
inline constexpr std::string_view kRdyForServScreen = "%$&RdyForServScreen#";
inline constexpr std::string_view kDBBackupDte = "%$&#####DBBackupDte#";
inline constexpr std::string_view kWorkstationState = "%$&WorkstationState#";
inline constexpr std::string_view kSessionType = "%$&#####SessionType#";
inline constexpr std::string_view kElapsedTime = "%$&#####ElapsedTime#";
inline constexpr std::string_view kUserID = "%$&##########UserID#";
inline constexpr std::string_view kRemainingTime = "%$&###RemainingTime#";
inline constexpr std::string_view kRemTimeAparent = "%$&##RemTimeAparent#";
inline constexpr std::string_view kUserBalance = "%$&#####UserBalance#";
inline constexpr std::string_view kConnectedTime = "%$&###ConnectedTime#";
inline constexpr std::string_view kCnxtTimeOffPeak = "%$&#CnxtTimeOffPeak#";
inline constexpr std::string_view kDisconnectedTime = "%$&DisconnectedTime#";
inline constexpr std::string_view kForceCardUpdate = "%$&#ForceCardUpdate#";
inline constexpr std::string_view kSessionURL = "%$&######SessionURL#";
inline constexpr std::string_view kSessionResume = "%$&###SessionResume#";
} // namespace tok

// token + payload + end token.
std::string funBuildMessage(std::string_view token, std::string_view payload = {});
// token + fields joined by the field separator + end token.
std::string funBuildMessage(std::string_view token, const std::vector<std::string>& fields);

// Splits at every separator; see the wire rules: a single trailing separator adds nothing.
std::vector<std::string> funSplit(std::string_view text, std::string_view separator);

// Numbers and dates on the wire use "." whatever the locale. Writers give the shortest text
// that reads back to the same value within 15 (Double) or 7 (Single) significant digits;
// readers accept the plain and the exponent form. Readers throw TlvError 13 for a text that is
// not a number, 6 for one out of range.
std::string funDblToStr(double value);
std::string funSngToStr(float value);
double funStrToDbl(std::string_view text);
float funStrToSng(std::string_view text);
double funStrToDate(std::string_view text);
// The ordinary text-to-integer conversions: whole numbers, or a decimal rounded half to even.
int funStrToInt(std::string_view text);      // Integer: -32768 to 32767
int32_t funStrToLong(std::string_view text); // Long

// padChar repeated (length - Len(text)) times, then text.
std::string funLpad(std::string_view text, std::string_view padChar, int length);
// The value of hexText read as "&H" + hexText + "&": eight digits give the signed 32-bit value.
int32_t funHexToLong(std::string_view hexText);

// major * 1 000 000 + minor * 1 000 + revision, and back to "major.minor.revision".
int32_t funVersionNumber(int major, int minor, int revision);
std::string funVersionText(int32_t versionNumber);

} // namespace tlv
