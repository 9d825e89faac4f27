// SettingsKey: the name of every key the program keeps in the per-user
// settings store, in one place, so that a writer and its readers never
// spell one differently.
#pragma once

namespace SettingsKey {

// The options' first page. Qt's settings file keeps a group named
// "general", in any letter case, in its "[%General]" section and reads that
// section back as the group "General": only this spelling is found again by
// the next start (and it also finds what earlier starts wrote as "general").
inline constexpr char kUseWelcomeDlg[] = "General/useWelcomeDlg";
inline constexpr char kUseVaultWizard[] = "General/useVaultWizard";
inline constexpr char kForgetTimeout[] = "General/forgetTimeout";

inline constexpr char kRecentList[] = "recentVaults/list";
inline constexpr char kRecentMax[] = "recentVaults/max";

inline constexpr char kGeometry[] = "layout/geometry";
inline constexpr char kWindowState[] = "layout/windowState";
// Followed by an editor type ("html"): that type's tool-bar layout.
inline constexpr char kTypeWindowStatePrefix[] = "layout/windowState-";
inline constexpr char kInterface[] = "layout/interface";
inline constexpr char kWinMaxed[] = "layout/winMaxed";
inline constexpr char kTabsClosable[] = "layout/tabsClosable";
inline constexpr char kTabsMovable[] = "layout/tabsMovable";
inline constexpr char kTabPosition[] = "layout/tabPosition";

inline constexpr char kLastUpdateCheck[] = "update/lastCheck";

// The installer an update download left, removed as a group.
inline constexpr char kDownloadGroup[] = "update-dl";
inline constexpr char kDownloadPath[] = "update-dl/path";
inline constexpr char kDownloadVersion[] = "update-dl/ver";

inline constexpr char kSyncAutoClose[] = "sync/autoClose";

} // namespace SettingsKey
