# SPDX-License-Identifier: MIT
# Installs Debian packages that are missing; sourced by the scripts.
#
#   ensure_packages 'name=version-glob' ...
#
# Each package is pinned to the upstream version the project is built and
# tested with; the glob lets Debian's security and point releases through.
# Nothing is fetched when every package is already installed.  Everything
# apt-get prints goes to standard error: a script's standard output stays
# its own (scripts/run-sample.sh > out.csv gives exactly the CSV).
ensure_packages() {
  local missing=()
  local pin name want have
  for pin in "$@"; do
    name=${pin%%=*}
    want=${pin#*=}
    have=$(dpkg-query -W -f='${Status} ${Version}' "$name" 2>/dev/null || true)
    # shellcheck disable=SC2053
    if [[ $have != "install ok installed "* || ${have##* } != $want ]]; then missing+=("$name=$want"); fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get -o DPkg::Lock::Timeout=300 update -qq >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends \
    "${missing[@]}" >&2
}

# The packages every build of the library needs.
ensure_core_packages() {
  ensure_packages 'cmake=3.25.*' 'ninja-build=1.11.*' 'g++=4:12.*' 'make=4.3*' 'pkg-config=1.8.*' \
    'libgtest-dev=1.12.*' 'libgmock-dev=1.12.*' 'libbenchmark-dev=1.7.*' 'libcli11-dev=2.1.*' 'libfmt-dev=9.1.*' 'python3=3.11.*' \
    'libhowardhinnant-date-dev=3.0.*'
}
