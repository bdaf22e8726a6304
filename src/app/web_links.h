// Addresses of the web pages that the program's links and menu items open.
#pragma once

namespace vu::links {

inline constexpr const char* MakerHomePage = "https://velloran.invalid/";
inline constexpr const char* CloverChangeLog = "https://github.com/CloverHackyColor/CloverBootloader/commits/master";
inline constexpr const char* CloverSourcePage = "https://github.com/CloverHackyColor/CloverBootloader";
inline constexpr const char* CloverWiki = "https://github.com/CloverHackyColor/CloverBootloader/wiki";
inline constexpr const char* RussianForumThread = "https://www.applelife.ru/threads/clover.42089/";
inline constexpr const char* DonationPage = "https://www.paypal.com/donate";
inline constexpr const char* CloudCloverEditor = "https://mackie100projects.altervista.org/clover-configurator/";

}  // namespace vu::links
