# Debian packages for another architecture or release, downloaded and unpacked
# into a directory without touching the machine's own dpkg (sourced by tools/wheels).

# The Debian archive this machine's apt already uses.
debian_archive() {
  local uri
  uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '/^URIs:/ {print $2}' | grep -v -- -security | head -n 1)
  [ -n "$uri" ] || uri=$(cat /etc/apt/sources.list 2>/dev/null | awk '$1 == "deb" && $3 !~ /security/ {print $2}' | head -n 1)
  [ -n "$uri" ] || { echo "no Debian archive in apt's sources" >&2; return 1; }
  echo "$uri"
}

# private_apt DIR ARCH SUITE TYPES: sets APT_OPTS to an apt of its own in DIR
# and reads its package lists once (sid's are read past their Valid-Until date).
private_apt() {
  local dir arch=$2 suite=$3 types=$4 uri
  dir=$(realpath -m "$1")
  uri=$(debian_archive)
  mkdir -p "$dir"/state/lists/partial "$dir"/cache/archives/partial "$dir"/etc/sources.list.d "$dir"/etc/preferences.d
  touch "$dir/state/status"
  printf 'Types: %s\nURIs: %s\nSuites: %s\nComponents: main\nArchitectures: %s\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$types" "$uri" "$suite" "$arch" > "$dir/etc/sources.list.d/debian.sources"
  : > "$dir/etc/sources.list"
  APT_OPTS=(-o "APT::Architecture=$arch" -o "APT::Architectures=$arch" -o "Dir::State=$dir/state"
    -o "Dir::State::status=$dir/state/status" -o "Dir::Cache=$dir/cache" -o "Dir::Etc::SourceList=$dir/etc/sources.list"
    -o "Dir::Etc::SourceParts=$dir/etc/sources.list.d" -o "Dir::Etc::Preferences=$dir/etc/preferences"
    -o "Dir::Etc::PreferencesParts=$dir/etc/preferences.d" -o "APT::Install-Recommends=false" -o "Debug::NoLocking=true"
    -o "Acquire::Check-Valid-Until=false" -o "APT::Sandbox::User=root")
  [ -e "$dir/updated" ] || { apt-get "${APT_OPTS[@]}" update -qq && touch "$dir/updated"; }
}

# unpack_packages DIR ARCH SUITE ROOT PACKAGE...: the packages and everything
# they depend on, unpacked into ROOT.
unpack_packages() {
  local dir=$1 arch=$2 suite=$3 root=$4 deb
  shift 4
  private_apt "$dir" "$arch" "$suite" deb
  apt-get "${APT_OPTS[@]}" install -y -qq --download-only "$@" >/dev/null
  mkdir -p "$root"
  for deb in "$dir"/cache/archives/*.deb; do
    dpkg-deb -x "$deb" "$root"
  done
}

# cpython_source DIR: the pristine CPython 3.13 source from Debian 13's
# python3.13 source package, unpacked; prints its directory.
cpython_source() {
  local dir=$1 tarball
  if [ ! -d "$dir/src" ]; then
    private_apt "$dir/apt" amd64 trixie deb-src
    mkdir -p "$dir/download"
    (cd "$dir/download" && apt-get "${APT_OPTS[@]}" source --download-only -qq python3.13 >/dev/null)
    tarball=$(ls "$dir"/download/python3.13_*.orig.tar.* | head -n 1)
    mkdir -p "$dir/src.new"
    tar -xf "$tarball" -C "$dir/src.new" --strip-components=1
    mv "$dir/src.new" "$dir/src"
  fi
  echo "$dir/src"
}
