# Who publishes this release of Quorlin, and when: the one file to edit before publishing.
# CMake reads it when it configures. The window (its status bar and the page its logo
# opens), the Debian package with its changelog and copyright file, and the AppStream
# metadata all take these values from here. The names below are placeholders: example.com
# is a domain reserved for examples. The version is the project's (top-level CMakeLists.txt).

# The release's date, YYYY-MM-DD: the AppStream release entry and the Debian changelog.
set(QUORLIN_RELEASE_DATE 2026-12-07)
# The Debian revision of this version's package: 1, and one more for each new package of
# the same version.
set(QUORLIN_DEB_RELEASE 1)

# Who makes it (the package's vendor, AppStream's developer), and the address that answers
# for the package and the metadata (the Debian maintainer and AppStream's update contact).
set(QUORLIN_DEVELOPER "Quorlin developers")
set(QUORLIN_MAINTAINER_EMAIL dev@example.com)

# The AppStream id: the reverse domain name of the project's own web address. It names the
# metadata file too.
set(QUORLIN_APPSTREAM_ID com.example.quorlin)
# Where the published picture of the window is, an https address: the real-window suite
# saves it as <build>/screenshots/quorlin-window.png.
set(QUORLIN_SCREENSHOT_URL https://quorlin.example.com/screenshots/quorlin-window.png)
# The project's web page, if it has one: the package's Homepage field and the metadata's
# address appear only when it is given.
set(QUORLIN_HOMEPAGE "")

# The window: the status bar's first, third and fourth panels (the maker's name, the
# after-sales support line, the author line) and the shop page the logo opens.
set(QUORLIN_MAKER_TEXT "Quorlin 开发组")
set(QUORLIN_SUPPORT_TEXT "售后支持：技术支持 即时通讯 000000")
set(QUORLIN_AUTHOR_TEXT "作者：开发者甲 即时通讯 000000")
set(QUORLIN_SHOP_URL https://shop.example.com/quorlin)
