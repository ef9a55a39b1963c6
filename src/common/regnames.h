#pragma once
// Registry key and value names shared by both programs. Keys lie under
// HKEY_LOCAL_MACHINE; names are given here in UTF-8 and stored in the hive as
// CP949 through the codec (the registry layer takes CP949: use the functions
// at the end, which give the CP949 form).
#include "common/codec.h"

#include <string>

namespace fm::reg {

inline constexpr const char *kProductKey = "Software\\(주)Norvane\\Velmontis";
inline constexpr const char *kCommunicationKey = "Software\\(주)Norvane\\Velmontis\\Communication";
inline constexpr const char *kFtpKey = "Software\\(주)Norvane\\Velmontis\\Ftp";
inline constexpr const char *kRecvFileKey = "Software\\(주)Norvane\\Velmontis\\RecvFile";

inline constexpr const char *kAddress = "Address";
inline constexpr const char *kPortNo = "PortNo";
inline constexpr const char *kLoginNm = "LoginNm";
inline constexpr const char *kPasswd = "Passwd";
inline constexpr const char *kDate = "Date";
inline constexpr const char *kVersion = "Version";

// The nine daily receive counters, one per file-kind code.
inline constexpr const char *kRecvCounters[9] = {"000", "100", "200", "300", "400",
                                                 "500", "600", "700", "800"};

inline std::string ProductKey() { return K(kProductKey); }
inline std::string CommunicationKey() { return K(kCommunicationKey); }
inline std::string FtpKey() { return K(kFtpKey); }
inline std::string RecvFileKey() { return K(kRecvFileKey); }

} // namespace fm::reg
