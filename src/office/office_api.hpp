// The names under which the office offers what the library uses: how it is started,
// where it listens and which services and properties are asked for.
#pragma once

namespace corvane::office {

inline constexpr char kUrlResolverService[] = "com.sun.star.bridge.UnoUrlResolver";
inline constexpr char kDesktopService[] = "com.sun.star.frame.Desktop";
inline constexpr char kDefaultContextProperty[] = "DefaultContext";
// Frame the workbook is loaded into: always a new one.
inline constexpr char kNewFrame[] = "_blank";

inline constexpr char kConfigurationMissing[] = "OpenOffice Configuration Missing!";
inline constexpr char kWorkbookMissing[] = "OpenOffice Calc File(\"Rududariz.azi\") missing";

}  // namespace corvane::office
