# Debian packages the project needs, and a function that installs the missing ones.
# Sourced by the other scripts.

# Building and running velmora and velmora-gui.
VELMORA_RUN_PACKAGES=(
  g++ cmake ninja-build pkg-config
  libzip-dev libpng-dev libimagequant-dev zlib1g-dev libjpeg62-turbo-dev libdeflate-dev
  libexpat1-dev libpixman-1-dev
  qt6-base-dev
  scdoc
  zopfli gifsicle
  fonts-nanum
)

# The Debian package (scripts/package): CPack's dependency search, its file-type test,
# the package checker.
VELMORA_PACKAGE_PACKAGES=(
  dpkg-dev file lintian
)

# Tests: the framework, independent decoders and EXIF readers to compare against,
# a JSON Schema checker for the reports, a headless X server for the window's screenshot,
# clang for the fuzz harnesses.
VELMORA_TEST_PACKAGES=(
  libgtest-dev
  python3 python3-pil python3-jsonschema imagemagick exiv2 libimage-exiftool-perl
  xvfb xauth
  clang libclang-rt-14-dev
)

# Installs the packages that dpkg does not report as installed; runs apt-get update
# only when something is missing.
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed'; then
      missing+=("$package")
    fi
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  echo "installing: ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}
