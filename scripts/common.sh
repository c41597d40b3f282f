# Shared by run.sh and test.sh: installs what is missing and builds.

# Debian packages that building and running capsel needs.
CAPSEL_BUILD_PACKAGES=(g++ make cmake pkg-config qt6-base-dev libxml2-dev libsystemd-dev nlohmann-json3-dev)
# What the window needs at run time: the X11 platform plugin and a font.
CAPSEL_RUN_PACKAGES=(qt6-qpa-plugins fonts-dejavu-core)
# What the tests need on top: GoogleTest, Google Benchmark (the benchmarks are built with the
# tests), a real X server with a tray host for the window, and for the package test Debian's
# package checker, the manual page reader and systemd (its analyzer and its manager), Node.js
# for the WebVTT parser that checks the .vtt files, ffmpeg whose SRT reader reads the .srt
# files back and which draws subtitles as libass draws them, Chromium which draws WebVTT as a
# browser does, Prometheus for promtool, which checks the metrics file, clang with its sanitizer
# runtimes for the fuzz targets, clang-format for the layout check, and Python for the scripts
# that count.
CAPSEL_TEST_PACKAGES=(libgtest-dev libbenchmark-dev time xvfb xauth trayer xdotool imagemagick x11-utils nodejs
                      ffmpeg chromium lintian man-db groff-base systemd prometheus clang libclang-rt-14-dev
                      clang-format python3)

# Installs the named Debian packages that are not installed yet (through sudo when not root).
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Missing packages: ${missing[*]}; run this as root or install sudo." >&2; exit 1; }
    sudo=(sudo)
  fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_DIR [CMAKE_ARGS...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$CAPSEL_ROOT" -B "$dir" "$@"
  cmake --build "$dir" -j "$(nproc)"
}
