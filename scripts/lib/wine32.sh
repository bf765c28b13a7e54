# Wine's 32-bit half, run through qemu's user-mode emulator, so the shipped
# i686 (PE32) installer itself runs here: this kernel runs no i386 code.
# Sourced, not run. Nothing is installed system-wide: Debian's i386 packages
# are unpacked into a private root (cached in TARVIK_WINE32_CACHE), and one
# binfmt_misc entry sends i386 ELF files to qemu-i386 with that root.
#
#   ensure_wine32        sets WINE32_BIN_DIR (its wine64 starts PE32 programs
#                        as well as x86_64 ones) or returns 1 with a reason

TARVIK_WINE32_CACHE=${TARVIK_WINE32_CACHE:-/var/cache/tarvik-wine32}
WINE32_BINFMT_NAME=tarvik-qemu-i386

# The i386 packages Wine's 32-bit half needs; apt adds their dependencies.
WINE32_PACKAGES=(wine32 libwine libgnutls30 libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1
  libxcomposite1 libxfixes3 libxxf86vm1 libfreetype6 libfontconfig1)

# The system's own Debian mirrors, as its apt sources name them.
wine32_mirror() {
  local kind=$1 uri
  uri=$(grep -hoE "^(URIs:|deb) +https?://[^ ]*${kind}[^ ]*" /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
          /etc/apt/sources.list.d/*.list 2>/dev/null | grep -oE 'https?://[^ ]+' | head -n1)
  if [ -z "$uri" ]; then
    [ "$kind" = debian-security ] && uri=http://deb.debian.org/debian-security || uri=http://deb.debian.org/debian
  fi
  printf '%s\n' "${uri%/}"
}

# A private apt state for one architecture: its own lists, cache and an empty
# package database, so apt fetches every dependency and the system's dpkg
# database is never touched.
wine32_apt_config() {
  local arch=$1 dir=$2 keyring=/usr/share/keyrings/debian-archive-keyring.gpg main security
  main=$(wine32_mirror /debian)
  security=$(wine32_mirror debian-security)
  mkdir -p "$dir/state/lists/partial" "$dir/cache/archives/partial" "$dir/etc/preferences.d" "$dir/etc/apt.conf.d"
  : >"$dir/status"
  cat >"$dir/sources.list" <<EOF
deb [arch=$arch signed-by=$keyring] $main bookworm main
deb [arch=$arch signed-by=$keyring] $main bookworm-updates main
deb [arch=$arch signed-by=$keyring] $main bookworm-backports main
deb [arch=$arch signed-by=$keyring] $security bookworm-security main
EOF
  cat >"$dir/apt.conf" <<EOF
APT::Architecture "$arch";
APT::Architectures { "$arch"; };
APT::Install-Recommends "false";
Dir::State "$dir/state";
Dir::State::status "$dir/status";
Dir::Cache "$dir/cache";
Dir::Etc::SourceList "$dir/sources.list";
Dir::Etc::SourceParts "$dir/etc/sources.list.d";
Dir::Etc::Parts "$dir/etc/apt.conf.d";
Dir::Etc::PreferencesParts "$dir/etc/preferences.d";
Debug::NoLocking "true";
EOF
  mkdir -p "$dir/etc/sources.list.d"
}

wine32_apt() {
  local dir=$1
  shift
  APT_CONFIG="$dir/apt.conf" apt-get -qq -o Dpkg::Use-Pty=0 "$@"
}

# Unpacks the i386 Wine and its libraries into $cache/root and qemu-i386 (a
# static binary from bookworm-backports: bookworm's 7.2 lacks
# MAP_FIXED_NOREPLACE, which makes Wine's start-up take a minute) into
# $cache/qemu. Finishes with a stamp, so an interrupted set-up starts again.
wine32_build_root() {
  local cache=$1 root=$1/root deb
  rm -rf "$root" "$cache/qemu" "$cache/apt-i386" "$cache/apt-amd64"
  log_step "Setting up Wine's 32-bit half in $cache (once per machine)"
  wine32_apt_config i386 "$cache/apt-i386"
  wine32_apt "$cache/apt-i386" update || return 1
  wine32_apt "$cache/apt-i386" install --download-only -y "${WINE32_PACKAGES[@]}" || return 1
  mkdir -p "$root"
  for deb in "$cache"/apt-i386/cache/archives/*.deb; do
    dpkg-deb -x "$deb" "$root" || return 1
  done

  wine32_apt_config amd64 "$cache/apt-amd64"
  wine32_apt "$cache/apt-amd64" update || return 1
  mkdir -p "$cache/qemu"
  (cd "$cache/qemu" && wine32_apt "$cache/apt-amd64" download qemu-user/bookworm-backports) || return 1
  dpkg-deb -x "$cache"/qemu/qemu-user_*.deb "$cache/qemu/root" || return 1
  [ -x "$cache/qemu/root/usr/bin/qemu-i386" ] || { echo "qemu-i386 missing from qemu-user" >&2; return 1; }
  # Only the i386 emulator is used; the package holds one for every processor.
  find "$cache/qemu" -type f ! -name qemu-i386 -delete

  # What libwine's maintainer script does: the i386 user32 loads zlib1.dll as
  # a Wine builtin, so the mingw zlib gets the builtin stamp at offset 64.
  local wine_dlls=$root/usr/lib/i386-linux-gnu/wine/i386-windows
  if [ -f "$root/usr/i686-w64-mingw32/lib/zlib1.dll" ] && [ -d "$wine_dlls" ]; then
    { head -c 64 "$root/usr/i686-w64-mingw32/lib/zlib1.dll"
      printf 'Wine builtin DLL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
      tail -c +97 "$root/usr/i686-w64-mingw32/lib/zlib1.dll"; } >"$wine_dlls/zlib1.dll"
  fi
  # Without its own cache the emulated ld.so takes the host's libraries.
  mkdir -p "$root/etc"
  printf '/lib/i386-linux-gnu\n/usr/lib/i386-linux-gnu\n' >"$root/etc/ld.so.conf"
  ldconfig -r "$root" 2>/dev/null || true

  rm -rf "$cache/apt-i386/cache/archives" "$cache/apt-amd64/cache"
  date -u +%FT%TZ >"$cache/root.stamp"
}

# Debian's wine64 starts the 32-bit loader as "<its own directory>/wine" and
# resolves its libraries and data relative to itself: a private copy of it
# (not a link: Wine reads /proc/self/exe) beside the i386 loader.
wine32_bin_dir() {
  local cache=$1 dir=$1/wine/lib/wine
  if [ ! -x "$dir/wine64" ] || ! cmp -s "$dir/wine64" "$WINE64"; then
    rm -rf "$cache/wine"
    mkdir -p "$dir" "$cache/wine/share"
    cp "$WINE64" "$dir/wine64"
    cp "$cache/root/usr/lib/wine/wine" "$dir/wine"
    ln -s "$WINESERVER" "$dir/wineserver"
    ln -s /usr/lib/x86_64-linux-gnu "$cache/wine/lib/x86_64-linux-gnu"
    ln -s "$cache/root/usr/lib/i386-linux-gnu" "$cache/wine/lib/i386-linux-gnu"
    ln -s /usr/share/wine "$cache/wine/share/wine"
  fi
  printf '%s\n' "$dir"
}

# The binfmt_misc entry that runs i386 ELF files through qemu-i386 with the
# private root as their file system prefix.
wine32_register_binfmt() {
  local cache=$1 binfmt=/proc/sys/fs/binfmt_misc wrapper=$1/qemu-i386-root
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || {
    echo "binfmt_misc cannot be mounted" >&2
    return 1
  }
  printf '#!/bin/sh\nexec %s -L %s "$@"\n' "$cache/qemu/root/usr/bin/qemu-i386" "$cache/root" >"$wrapper.new"
  chmod 755 "$wrapper.new"
  if [ -e "$binfmt/$WINE32_BINFMT_NAME" ] && cmp -s "$wrapper" "$wrapper.new"; then
    rm -f "$wrapper.new"
    return 0
  fi
  [ -e "$binfmt/$WINE32_BINFMT_NAME" ] && echo -1 >"$binfmt/$WINE32_BINFMT_NAME"
  mv "$wrapper.new" "$wrapper"
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":$WINE32_BINFMT_NAME:M::$magic:$mask:$wrapper:F" >"$binfmt/register" || {
    echo "binfmt_misc refused the qemu-i386 entry" >&2
    return 1
  }
}

ensure_wine32() {
  local cache=$TARVIK_WINE32_CACHE
  if [ "$(id -u)" -ne 0 ]; then
    echo "Wine's 32-bit half needs root (binfmt_misc)" >&2
    return 1
  fi
  mkdir -p "$cache"
  if [ ! -f "$cache/root.stamp" ]; then
    wine32_build_root "$cache" || { echo "could not set up Wine's 32-bit half" >&2; return 1; }
  fi
  WINE32_BIN_DIR=$(wine32_bin_dir "$cache") || return 1
  wine32_register_binfmt "$cache" || return 1
  export WINE32_BIN_DIR
}
