# The Windows program: the 32-bit release zarvel.exe and the x86_64 one as
# Windows loads them (processor, imports, dialogs, icon, manifest), then the
# x86_64 one under Wine with the stand-in winmm.dll beside it, worked through
# its real windows by our test driver.
set -euo pipefail
scripts/build.sh mingw-i686
scripts/build.sh mingw-x64
bash tests/ui/check_resources.sh build/mingw-i686/src/ui/zarvel.exe X86 build/mingw-i686/src/generated/version.h
bash tests/ui/check_resources.sh build/mingw-x64/src/ui/zarvel.exe amd64 build/mingw-x64/src/generated/version.h
# Every wait inside has its own limit; this one is for whatever they miss.
timeout --kill-after=20 600 bash tests/ui/wine_ui_test.sh
