#pragma once
// Names of the resources compiled into Penloom.exe (see penloom.rc).

namespace res {

inline constexpr const wchar_t* kMainBackground = L"MAIN_BACKGROUND";
inline constexpr const wchar_t* kSplashBackground = L"SPLASH_BACKGROUND";
inline constexpr const wchar_t* kStartPage = L"START_PAGE";
inline constexpr const wchar_t* kLogo = L"LOGO";
inline constexpr const wchar_t* kStartWriting = L"START_WRITING";
inline constexpr const wchar_t* kStartWritingHover = L"START_WRITING_HOVER";
inline constexpr const wchar_t* kNavWrite = L"NAV_WRITE";
inline constexpr const wchar_t* kNavWriteHover = L"NAV_WRITE_HOVER";
inline constexpr const wchar_t* kNavOutline = L"NAV_OUTLINE";
inline constexpr const wchar_t* kNavOutlineHover = L"NAV_OUTLINE_HOVER";
inline constexpr const wchar_t* kNavMusic = L"NAV_MUSIC";
inline constexpr const wchar_t* kNavMusicHover = L"NAV_MUSIC_HOVER";
inline constexpr const wchar_t* kNavSearch = L"NAV_SEARCH";
inline constexpr const wchar_t* kNavSearchHover = L"NAV_SEARCH_HOVER";
inline constexpr const wchar_t* kNavHelp = L"NAV_HELP";
inline constexpr const wchar_t* kNavHelpHover = L"NAV_HELP_HOVER";
inline constexpr const wchar_t* kCapTray = L"CAP_TRAY";
inline constexpr const wchar_t* kCapTrayHover = L"CAP_TRAY_HOVER";
inline constexpr const wchar_t* kCapMin = L"CAP_MIN";
inline constexpr const wchar_t* kCapMinHover = L"CAP_MIN_HOVER";
inline constexpr const wchar_t* kCapClose = L"CAP_CLOSE";
inline constexpr const wchar_t* kCapCloseHover = L"CAP_CLOSE_HOVER";
inline constexpr const wchar_t* kTrayPicture = L"TRAY_PICTURE";
inline constexpr const wchar_t* kWriteBand = L"WRITE_BAND";
inline constexpr const wchar_t* kChapterItem = L"CHAPTER_ITEM";
inline constexpr const wchar_t* kAppIcon = L"APP_ICON";
inline constexpr const wchar_t* kTrayIcon = L"TRAY_ICON";

// Data files whose single source is the installer's payload folder.
inline constexpr const wchar_t* kOfflinePage = L"OFFLINE_PAGE";
inline constexpr const wchar_t* kBlankStoreMain = L"BLANK_STORE_EDB";
inline constexpr const wchar_t* kBlankStoreCompanion = L"BLANK_STORE_EDT";

}  // namespace res
