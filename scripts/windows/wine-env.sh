# Sourced by the scripts that run Windows programs under Wine: the loader, its server, and what
# every run has (64-bit, no Wine chatter, no Mono or Gecko installers and no desktop menus, and
# a Japanese locale, so that the ANSI code page is 932 as on the users' Windows). The caller
# sets WINEPREFIX.
wine=${ZP_WINE:-/usr/lib/wine/wine64}
wineserver=${wine%/*}/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
