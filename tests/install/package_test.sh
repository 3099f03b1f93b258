#!/usr/bin/env bash
# The Debian package end to end: CPack builds it from the build folder BUILD, dpkg -x unpacks it
# into a scratch root, and from there both programs start, the desktop files validate and the
# program directory follows its rule.
#   package_test.sh BUILD APP_ID VERSION
set -euo pipefail
build="$1" app_id="$2" version="$3"
scratch="$(mktemp -d)"
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# CPack would otherwise place its staging tree inside the build folder.
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack"
fi
debs=("$scratch"/out/chengling_"$version"_*.deb)
[[ -f "${debs[0]}" ]] || fail "no package in $(ls "$scratch/out")"
deb="${debs[0]}"

# dpkg-shlibdeps found the libraries the programs link to (a name may carry a suffix such as t64).
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libc6 libqt6widgets6 libqt6gui6 libqt6core6 libcurl4 zlib1g ca-certificates libexiv2-27; do
  [[ "$depends" =~ (^|, )$package[a-z0-9.]*( |,|$) ]] || fail "Depends lacks $package: $depends"
done
# Every word of the window is Chinese: a font with Chinese glyphs and Qt's Chinese translations are
# installed with the package, not only recommended (one entry, alternatives joined by " | ").
cjk_fonts="fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei"
[[ ", $depends, " == *", $cjk_fonts, "* ]] || fail "Depends lacks a Chinese font ($cjk_fonts): $depends"
[[ "$depends" =~ (^|, )qt6-translations-l10n( |,|$) ]] || fail "Depends lacks qt6-translations-l10n: $depends"
# The simplified / traditional tables are built into the programs: OpenCC is needed only to build.
[[ ! "$depends" =~ opencc ]] || fail "Depends names OpenCC: $depends"

root="$scratch/root"
dpkg -x "$deb" "$root"
bin="$root/usr/bin"
[[ "$("$bin/chengling-cli" --version)" == "chengling-cli $version" ]] || fail "chengling-cli --version"

share="$root/usr/share"
for file in "applications/$app_id.desktop" "metainfo/$app_id.metainfo.xml" \
            "icons/hicolor/scalable/apps/$app_id.svg" "icons/hicolor/48x48/apps/$app_id.png" \
            "icons/hicolor/256x256/apps/$app_id.png" "man/man1/chengling-cli.1.gz" \
            "bash-completion/completions/chengling-cli"; do
  [[ -s "$share/$file" ]] || fail "missing $file"
done
desktop-file-validate "$share/applications/$app_id.desktop" || fail "desktop-file-validate"
# The metainfo, its desktop entry and its icon, as installed side by side.
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"
gzip -dc "$share/man/man1/chengling-cli.1.gz" | groff -man -k -Tutf8 -P-cbou -ww | grep -q CLASSIFY || fail "man page"

# The program directory, through the logs that chengling-cli classify writes there.
work="$scratch/work"
mkdir -p "$work/photos" "$scratch/home"
echo one >"$work/photos/a.txt"
log="归类后文件路径.txt"
classify() {
  (cd "$work" && env -u CHENGLING_HOME -u XDG_CONFIG_HOME HOME="$scratch/home" "$@" \
     "$bin/chengling-cli" classify photos >/dev/null) || fail "classify in $*"
}
classify XDG_CONFIG_HOME="$scratch/xdg"
[[ -f "$scratch/xdg/chengling/$log" ]] || fail "not in \$XDG_CONFIG_HOME/chengling"
classify
[[ -f "$scratch/home/.config/chengling/$log" ]] || fail "not in ~/.config/chengling"
: >"$bin/portable"
classify XDG_CONFIG_HOME="$scratch/xdg2"
[[ -f "$bin/$log" ]] || fail "a portable copy keeps its logs beside the executable"
[[ ! -e "$scratch/xdg2" ]] || fail "a portable copy wrote into \$XDG_CONFIG_HOME"
classify CHENGLING_HOME="$scratch/override"
[[ -f "$scratch/override/$log" ]] || fail "CHENGLING_HOME is not the program directory"
rm -f "$bin/portable" "$bin"/*.txt

# A photo's record is read by the module the programs open from their private library folder: a TIFF
# whose only tag is the time it was taken goes to that year, whatever its file time.
photos="$scratch/photos"
mkdir -p "$photos"
printf 'II*\x00\x08\x00\x00\x00\x01\x00\x32\x01\x02\x00\x14\x00\x00\x00\x1a\x00\x00\x00\x00\x00\x00\x002019:05:17 10:20:30\x00' \
  >"$photos/p.tif"
plan="$(CHENGLING_HOME="$scratch/photo-home" "$bin/chengling-cli" classify --dry-run --to "$scratch/sorted/[拍摄年]/[拍摄月]/[文件名]" "$photos")"
[[ "$plan" == *"$scratch/sorted/2019/05/p.tif"* ]] || fail "the installed programs read no photo record: $plan"
[[ -n "$(find "$root/usr/lib" -path '*/chengling/libchengling-photo.so')" ]] || fail "the photo module is not installed: $(cd "$root" && find usr/lib)"
if readelf -d "$bin/chengling-cli" | grep -q NEEDED.*exiv2; then fail "chengling-cli links libexiv2 at start"; fi
# Without the module a run still goes on, by the file times, and says why. (A build with the
# sanitizers opens the module of its build folder, which this cannot take away.)
if ! readelf -d "$bin/chengling-cli" | grep -q 'NEEDED.*libasan'; then
  find "$root/usr/lib" -name libchengling-photo.so -delete
  plan="$(CHENGLING_HOME="$scratch/photo-home" "$bin/chengling-cli" classify --dry-run --to "$scratch/sorted/[拍摄年]/[文件名]" "$photos" 2>&1)"
  [[ "$plan" == *"无法读取照片的拍摄信息"* && "$plan" == *"$scratch/sorted/$(date -r "$photos/p.tif" +%Y)/p.tif"* ]] ||
    fail "a missing photo module is not reported: $plan"
fi

# The window starts, paints itself and ends (the screenshot hook quits once it has a picture); its
# settings land in the user's configuration folder.
env -u CHENGLING_HOME HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/gui" QT_QPA_PLATFORM=offscreen \
  CHENGLING_SCREENSHOT="$scratch/window.png" "$bin/chengling" || fail "chengling did not run"
[[ -s "$scratch/window.png" ]] || fail "chengling showed no window"
[[ -f "$scratch/gui/chengling/岚舟·澄岭工具箱.ini" ]] || fail "the window's settings are not in \$XDG_CONFIG_HOME/chengling"
[[ -z "$(ls "$bin" | grep -v '^chengling')" ]] || fail "something was written beside the installed programs: $(ls "$bin")"
echo "package ok: $(basename "$deb"), Depends: $depends"
