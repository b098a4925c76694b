# Sourced by the Windows dependency scripts: reaching Debian's source packages without touching
# the system's apt configuration. The caller sets work (a scratch folder), log (a file) and, per
# library, srcpkg[lib] (the source package) and srcver[lib] (the version to fetch).
#
# A private apt configuration that lists the deb-src twins of the machine's own entries, so that
# `apt-get source` works without touching the system's sources.
apt_sources() {
  local etc=$work/apt
  mkdir -p "$etc/lists/partial" "$etc/cache/archives/partial" "$etc/sources.list.d"
  : >"$etc/sources.list"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -e '/^#/d' -e 's/^Types:.*/Types: deb-src/' "$f" >"$etc/sources.list.d/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n -e 's/^deb \(.*\)$/deb-src \1/p' "$f" >>"$etc/sources.list"
  done
  aptopts=(-o "Dir::Etc::SourceList=$etc/sources.list" -o "Dir::Etc::SourceParts=$etc/sources.list.d"
           -o "Dir::State::Lists=$etc/lists" -o "Dir::Cache=$etc/cache"
           -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1")
  apt-get "${aptopts[@]}" update -qq >>"$log" 2>&1 || { cat "$log" >&2; exit 1; }
}




# Fetches and unpacks (Debian's patches applied) the source of one library; prints its folder.
# The archive may have moved on from the version this machine installed (a security update the
# machine has not taken yet): then the newest revision of the same upstream version is used.
fetch_source() {
  local lib=$1
  local dir=$work/src-$lib ver
  mkdir -p "$dir"
  local versions=("${srcver[$lib]}")
  while read -r ver; do
    [ "$ver" != "${srcver[$lib]}" ] && [ "${ver%-*}" = "${srcver[$lib]%-*}" ] && versions+=("$ver")
  done < <(apt-cache "${aptopts[@]}" showsrc "${srcpkg[$lib]}" 2>>"$log" | sed -n 's/^Version: //p' | sort -rV)
  for ver in "${versions[@]}"; do
    if (cd "$dir" && apt-get "${aptopts[@]}" source -qq "${srcpkg[$lib]}=$ver" >>"$log" 2>&1); then
      [ "$ver" != "${srcver[$lib]}" ] &&
        echo "${0##*/}: ${srcpkg[$lib]} ${srcver[$lib]} is no longer served; built $ver" >&2
      find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n 1
      return 0
    fi
    rm -rf "${dir:?}"/*
  done
  tail -n 20 "$log" >&2
  echo "${0##*/}: no source of ${srcpkg[$lib]} ${srcver[$lib]} could be fetched" >&2
  exit 1
}
