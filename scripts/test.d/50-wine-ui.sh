# The Windows program under Wine: the x86_64 zarvel.exe with the stand-in
# winmm.dll beside it, worked through its real windows by our test driver.
set -euo pipefail
scripts/build.sh mingw-x64
# Every wait inside has its own limit; this one is for whatever they miss.
timeout --kill-after=20 600 bash tests/ui/wine_ui_test.sh
