#!/bin/sh
# check_resources.sh BIN_DIR TOOL_PREFIX VERSION [INSTALLER]
# The resources of one build's deliverables, read back with the mingw tools:
# each carries the one version number in its version resource; the two
# programs carry the manifest (common controls 6, the supported Windows
# versions, DPI awareness) and the setup library the one its dialogs run in;
# the About box names the version. The calls Windows before XP lacks are
# looked up by name at run time, never imported, so the i686 build still
# starts there. Exit 77 (skipped) when the build is not there.
bin=$1; prefix=$2; version=$3; installer=${4:-}
if [ ! -f "$bin/pelimbo32.exe" ]; then
  echo "skipped: $bin is not built"
  exit 77
fi
major=${version%%.*}; rest=${version#*.}; minor=${rest%%.*}
patch=0
[ "$rest" != "$minor" ] && patch=${rest#*.}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

has() { # file, fixed text expected in the resources
  grep -qF -- "$2" "$tmp" || fail "$1: no '$2'"
}
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT

for name in pelimbo32.exe pelcheck32.exe pelsetup32.dll pelnw32.dll; do
  file=$bin/$name
  "${prefix}windres" -i "$file" -O rc >"$tmp" 2>/dev/null || { fail "$name: resources unreadable"; continue; }
  has "$name" "FILEVERSION $major, $minor, $patch, 0"
  has "$name" "VALUE \"FileVersion\", \"$version\""
  has "$name" "VALUE \"ProductVersion\", \"$version\""
  has "$name" "VALUE \"ProductName\", \"Pelimbo\""
  has "$name" "VALUE \"OriginalFilename\", \"$name\""
  case $name in
    pelimbo32.exe|pelcheck32.exe) manifest="1 24 /* RT_MANIFEST */" ;;
    pelsetup32.dll) manifest="2 24 /* RT_MANIFEST */" ;;
    *) manifest="" ;;
  esac
  if [ -n "$manifest" ]; then
    has "$name" "$manifest"
    has "$name" "name=\"\"Microsoft.Windows.Common-Controls\"\" version=\"\"6.0.0.0\"\""
    has "$name" "<supportedOS Id=\"\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"\"/>"
    has "$name" ">true</dpiAware>"
  fi
  [ "$name" = pelimbo32.exe ] && has "$name" "\"Pelimbo $version (32-bit)\""
  imports=$("${prefix}objdump" -p "$file" | sed -n '/^The Import Tables/,/^The Export Tables\|^PE File Base Relocations/p')
  for call in CreateActCtxA ActivateActCtx DeactivateActCtx ReleaseActCtx EnableThemeDialogTexture \
              SetProcessDPIAware SetProcessDpiAwareness SetProcessDpiAwarenessContext GetDpiForWindow \
              GetDpiForSystem SetThreadDpiAwarenessContext; do
    echo "$imports" | grep -qw "$call" && fail "$name imports $call (missing on older Windows)"
  done
  echo "$imports" | grep -qi "DLL Name: uxtheme" && fail "$name imports UXTHEME.DLL"
done

if [ -n "$installer" ]; then
  if [ -f "$installer" ]; then
    "${prefix}windres" -i "$installer" -O rc >"$tmp" 2>/dev/null || fail "installer: resources unreadable"
    has installer "VALUE \"ProductVersion\", \"$version\""
    has installer "1 24 /* RT_MANIFEST */"
  else
    fail "no installer $installer"
  fi
fi

[ $failures -eq 0 ] || exit 1
echo "resources of $bin: version $version, manifests, no import newer Windows lack"
