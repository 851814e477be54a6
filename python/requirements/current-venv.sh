# SPDX-License-Identifier: MIT
# Creates the current-stack venv from python/requirements/current.txt:
#
#   current_stack_venv VENV
#
# The wheels are downloaded once into $TAMSELCHARTS_PIP_CACHE (default
# /var/cache/tamselcharts/pip) and installed from there with their hashes
# checked, so a second run needs no network.  The venv is rebuilt only when
# the lock file changed (its hash is kept in the venv).
current_stack_venv() {
  local venv=$1
  local lock=python/requirements/current.txt
  local cache=${TAMSELCHARTS_PIP_CACHE:-/var/cache/tamselcharts/pip}
  local stamp
  stamp=$(sha256sum "$lock" | cut -d' ' -f1)
  if [ -f "$venv/lock.sha256" ] && [ "$(cat "$venv/lock.sha256")" = "$stamp" ]; then
    return 0
  fi
  mkdir -p "$cache"
  # Only the lock's wheels: the machine's PIP_FIND_LINKS must not add others.
  export PIP_FIND_LINKS=
  if ! /usr/bin/python3 -m pip download --disable-pip-version-check -q --no-index --find-links "$cache" \
      --require-hashes --only-binary=:all: -d "$cache" -r "$lock" >/dev/null 2>&1; then
    echo "   downloading the current stack's wheels into $cache" >&2
    /usr/bin/python3 -m pip download --disable-pip-version-check -q --index-url https://pypi.org/simple \
      --require-hashes --only-binary=:all: -d "$cache" -r "$lock" >&2
  fi
  rm -rf "$venv"
  /usr/bin/python3 -m venv "$venv"
  "$venv/bin/pip" install --disable-pip-version-check -q --no-index --find-links "$cache" --require-hashes \
    -r "$lock" >&2
  echo "$stamp" >"$venv/lock.sha256"
}
