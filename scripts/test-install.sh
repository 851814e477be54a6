#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The release files installed where users are, on systems unlike this one:
#   1. the Linux wheels (x86_64, i686, aarch64; the library and a static
#      tamsel), each one's tag checked against auditwheel's verdict;
#   2. the Windows wheels: exactly the DLL of the win64/win32 build inside,
#      and in the win_amd64 one the tamsel.exe scripts/test-tamsel-builds.sh
#      tests;
#   3. the sdist: a wheel built from it offline in a clean venv;
#   4. Debian 11 (glibc 2.31, Python 3.9) x86-64: the wheel in a venv with the
#      dependencies pip resolves there, the package's tests (golden values bit
#      for bit) and the bundled tamsel on data/sample-daily.csv; the .debs
#      installed with dpkg and examples/print_indicators.c built against them;
#   5. Debian 11 arm64 through the binfmt-registered qemu-aarch64-static: the
#      same with the aarch64 wheel (its tests and tool);
#   6. Debian 11 i386 (32-bit code runs on this kernel as it is): the i686
#      wheel's library and tool (numpy has no 32-bit wheels for pip to take).
#   7. scripts/release.sh refuses a dirty tree.
# The roots and pip's downloads are cached under /var/cache/tamselcharts, so
# a second run needs no network.  Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib/packages.sh
ensure_core_packages
ensure_packages 'debootstrap=1.0.128*' 'binfmt-support=2.2.*' 'qemu-user-static=1:7.2*' 'clang-14=1:14.0.*' \
  'binutils-aarch64-linux-gnu=2.40*' 'libc6-dev-arm64-cross=2.36*' 'libstdc++-12-dev-arm64-cross=12.2.*' \
  'libgcc-12-dev-arm64-cross=12.2.*' 'g++-multilib=4:12.*' 'g++-mingw-w64-i686-win32=12.2.*' \
  'g++-mingw-w64-x86-64-win32=12.2.*' 'g++-mingw-w64-x86-64-posix=12.2.*' 'python3-setuptools=66.1.*' 'python3-wheel=0.38.*' 'python3-venv=3.11.*' \
  'python3-pip=23.0.*' 'zip=3.0*' 'unzip=6.0*' 'python3-numpy=1:1.24.*' 'python3-pandas=1.5.*'
source scripts/lib/bullseye-root.sh
source scripts/lib/release-builds.sh

out=$root/build/install-test
pip_cache=/var/cache/tamselcharts/pip
rm -rf "$out" python/build
mkdir -p "$out/dist" "$pip_cache"
started=$SECONDS
step() { echo "== $* ($((SECONDS - started)) s)"; }
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# pip in a venv, from the cache when it holds everything, else from PyPI
# into the cache; always by the hashes of the requirements file.
hashed_install() {
  local pip=$1 requirements=$2 cache=$3
  mkdir -p "$cache"
  "$pip" install -q --no-index --find-links "$cache" --require-hashes -r "$requirements" 2>/dev/null && return 0
  "$pip" download -q -d "$cache" --require-hashes -r "$requirements"
  "$pip" install -q --no-index --find-links "$cache" --require-hashes -r "$requirements"
}

step "Linux natives and wheels"
for arch in x86_64 i686 aarch64; do linux_wheel "$arch" "$out/dist" >/dev/null; done
step "Windows DLLs, tamsel.exe and wheels"
exe=$(windows_wheels "$out/dist")
step "sdist"
(cd python && /usr/bin/python3 setup.py -q sdist -d "$out/dist" >/dev/null 2>&1) || fail "setup.py sdist"
rm -rf python/build python/*.egg-info
ls "$out/dist"

wheel_for() {
  local found=("$out"/dist/tamselcharts-*-py3-none-"$1".whl)
  [ "${#found[@]}" -eq 1 ] && [ -f "${found[0]}" ] || fail "no single $1 wheel in $out/dist"
  echo "${found[0]}"
}
x86_64_wheel=$(wheel_for manylinux_2_17_x86_64.manylinux2014_x86_64)
i686_wheel=$(wheel_for manylinux_2_17_i686.manylinux2014_i686)
aarch64_wheel=$(wheel_for manylinux_2_17_aarch64.manylinux2014_aarch64)

step "auditwheel's verdict on each Linux wheel"
/usr/bin/python3 -m venv "$out/auditwheel-venv"
hashed_install "$out/auditwheel-venv/bin/pip" python/requirements/auditwheel.txt "$pip_cache/auditwheel"
for wheel in "$x86_64_wheel" "$i686_wheel" "$aarch64_wheel"; do
  verdict=$("$out/auditwheel-venv/bin/auditwheel" show "$wheel" 2>&1) || fail "auditwheel show $wheel: $verdict"
  tag=$(basename "$wheel" .whl)
  tag=${tag#*-py3-none-}
  # auditwheel names the most compatible tag the files allow; the wheel's
  # own tag must be that one (not newer, which would refuse systems it runs
  # on, nor older, which would promise what it cannot keep), except that no
  # wheel is tagged older than manylinux2014 (glibc 2.17), the oldest tag
  # the project offers: the 32-bit library alone would do with glibc 2.2.
  allowed=$(tr -s ' \n' ' ' <<<"$verdict" | sed -n 's/.*consistent with the following platform tag: "manylinux_\([0-9]*\)_\([0-9]*\)_.*/\1 \2/p')
  [ -n "$allowed" ] || fail "$(basename "$wheel"): no tag in auditwheel's verdict: $verdict"
  read -r major minor <<<"$allowed"
  if ((major < 2 || (major == 2 && minor < 17))); then major=2 minor=17; fi
  [[ $tag == manylinux_${major}_${minor}_* ]] || fail "$(basename "$wheel") is not tagged for glibc $major.$minor: $verdict"
  echo "$(basename "$wheel"): auditwheel agrees"
done

step "the Windows wheels hold the DLL the Windows build made (and win_amd64 its tamsel.exe)"
for wanted in win_amd64:win64:tamselcharts/bin/tamsel.exe win32:win32:; do
  IFS=: read -r tag preset bundled_tool <<<"$wanted"
  wheel=$(wheel_for "$tag")
  dll=build/$preset/src/TamselCharts.dll
  native=$(unzip -Z1 "$wheel" | grep -vE '\.py$|dist-info/|py\.typed$|LICENSE$' | sort | tr '\n' ' ')
  expected=$(printf '%s\n' tamselcharts/TamselCharts.dll $bundled_tool | sort | tr '\n' ' ')
  [ "$native" = "$expected" ] || fail "$(basename "$wheel") holds these native files: $native"
  [ "$(unzip -p "$wheel" tamselcharts/TamselCharts.dll | sha256sum)" = "$(sha256sum <"$dll")" ] ||
    fail "$(basename "$wheel")'s DLL is not $dll"
  if [ -n "$bundled_tool" ]; then
    [ "$(unzip -p "$wheel" "$bundled_tool" | sha256sum)" = "$(sha256sum <"$exe")" ] ||
      fail "$(basename "$wheel")'s tamsel.exe is not $exe"
  fi
  echo "$(basename "$wheel"): $dll, $(sha256sum <"$dll" | cut -c1-16)…${bundled_tool:+ and $exe}"
done

step "a wheel from the sdist, offline, in a clean venv"
sdist=("$out"/dist/tamselcharts-*.tar.gz)
# Listed into a file: grep -q stopping early would make tar fail the pipe.
tar -tzf "${sdist[0]}" >"$out/sdist-files.txt"
grep -q '/csrc/src/CMakeLists.txt$' "$out/sdist-files.txt" || fail "the sdist holds no C sources"
# The venv takes numpy and pandas, which the package imports, from Debian's
# packages: it has no index to get them from.
/usr/bin/python3 -m venv --system-site-packages "$out/sdist-venv"
(cd "$out" && TAMSELCHARTS_BUILD_DIR=$out/sdist-build "$out/sdist-venv/bin/pip" wheel -q --no-build-isolation \
  --no-index --no-deps -w "$out/sdist-wheel" "${sdist[0]}" >"$out/sdist.log" 2>&1) ||
  { tail -n 30 "$out/sdist.log"; fail "building a wheel from the sdist"; }
"$out/sdist-venv/bin/pip" install -q --no-index --no-deps "$out"/sdist-wheel/*.whl
(cd "$out" && "$out/sdist-venv/bin/python" -c 'import tamselcharts as tc, numpy as np
h = np.linspace(10, 20, 200); print("sdist wheel computes", tc.indicators(h, h - 1)[0][-1])')

step "the .deb packages (prefix /usr, static tamsel)"
debian_packages "$out/deb" || fail "the .deb packages"
debs=("$out"/deb/*.deb)
for deb in "${debs[@]}"; do echo "   $(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"; done

# Runs a command as root inside a root, with /proc, the test files and the
# pip cache mounted, and pip trusting what pip here trusts (this machine
# reaches PyPI through its own certificate authority).
in_root() {
  local target=$1
  shift
  chroot "$target" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
    PIP_CERT=/etc/tamsel-host-ca.crt PIP_DISABLE_PIP_VERSION_CHECK=1 "$@"
}
mounted=()
unmount_all() {
  local index
  for ((index = ${#mounted[@]} - 1; index >= 0; index--)); do umount "${mounted[index]}" 2>/dev/null || true; done
  mounted=()
}
i386_job=
# A background root unmounts its own mounts when it ends: it is waited for,
# not killed, which would leave its emulated commands running and mounted.
end_roots() {
  if [ -n "$i386_job" ]; then wait "$i386_job" 2>/dev/null || true; fi
  unmount_all
}
trap end_roots EXIT
prepare_root() {
  local target=$1 cache=$2
  cp /etc/resolv.conf "$target/etc/resolv.conf"
  cp /etc/ssl/certs/ca-certificates.crt "$target/etc/tamsel-host-ca.crt"
  rm -rf "$target/srv/tamsel"
  mkdir -p "$target/srv/tamsel/python" "$target/srv/tamsel/tests" "$target/var/cache/tamsel-pip" "$cache"
  cp -r python/tests python/README.md python/requirements "$target/srv/tamsel/python/"
  cp -r include data "$target/srv/tamsel/"
  cp -r tests/data tests/golden "$target/srv/tamsel/tests/"
  mount -t proc proc "$target/proc" && mounted+=("$target/proc")
  # multiprocessing's locks need a /dev/shm.
  mkdir -p "$target/dev/shm"
  mount -t tmpfs tmpfs "$target/dev/shm" && mounted+=("$target/dev/shm")
  mount --bind "$cache" "$target/var/cache/tamsel-pip" && mounted+=("$target/var/cache/tamsel-pip")
}

# The package's tests in a root, against the wheel installed with the
# dependencies resolved there.  Dask is left out (not pinned).
python_in_root() {
  local target=$1 wheel=$2
  shift 2
  local tests=${*:-python/tests}
  cp "$wheel" "$target/srv/tamsel/"
  in_root "$target" sh -ec '
    cd /srv/tamsel
    rm -rf venv && python3 -m venv venv
    req=python/requirements/bullseye-py39.txt
    venv/bin/pip install -q --no-index --find-links /var/cache/tamsel-pip --require-hashes -r $req 2>/dev/null ||
      { venv/bin/pip download -q -d /var/cache/tamsel-pip --require-hashes -r $req &&
        venv/bin/pip install -q --no-index --find-links /var/cache/tamsel-pip --require-hashes -r $req; }
    venv/bin/pip install -q --no-index --no-deps ./'"$(basename "$wheel")"'
    venv/bin/pip check
    venv/bin/python -c "import sys, numpy, pandas; print(\"Python\", sys.version.split()[0], \"numpy\", numpy.__version__, \"pandas\", pandas.__version__)"
    venv/bin/tamsel data/sample-daily.csv > sample-out.csv
    status=0
    TAMSELCHARTS_WHEEL=/srv/tamsel/'"$(basename "$wheel")"' venv/bin/python -m pytest '"$tests"' -q \
      -p no:cacheprovider --ignore=python/tests/test_dask.py > pytest.log 2>&1 || status=$?
    tail -n 3 pytest.log
    exit $status' || { grep -E "^(FAILED|ERROR)" "$target/srv/tamsel/pytest.log" | head -n 20;
                      fail "the package's tests in $(basename "$target")"; }
}

reference_csv=$out/sample-out.csv
build/wheel-x86_64/tools/tamsel/tamsel data/sample-daily.csv >"$reference_csv"

step "Debian 11 x86-64: $(basename "$x86_64_wheel")"
amd64_root=$(bullseye_root amd64)
prepare_root "$amd64_root" "$pip_cache/bullseye"
python_in_root "$amd64_root" "$x86_64_wheel"
cmp "$amd64_root/srv/tamsel/sample-out.csv" "$reference_csv" || fail "tamsel's CSV on Debian 11 differs"
echo "   the bundled tamsel's CSV equals the build machine's"
step "Debian 11 x86-64: the .debs with dpkg, and the C example built against them"
cp "${debs[@]}" examples/print_indicators.c "$amd64_root/srv/tamsel/"
in_root "$amd64_root" sh -ec '
  cd /srv/tamsel
  dpkg -r tamsel libtamselcharts-dev libtamselcharts1 >/dev/null 2>&1 || true
  dpkg -i ./*.deb >/dev/null
  gcc -O2 -o print_indicators print_indicators.c -ltamselcharts -lm
  ./print_indicators | head -n 3
  tamsel data/sample-daily.csv > deb-out.csv
  dpkg -r tamsel libtamselcharts-dev libtamselcharts1 >/dev/null'
cmp "$amd64_root/srv/tamsel/deb-out.csv" "$reference_csv" || fail "the .deb's tamsel gives another CSV"
unmount_all

# The i386 root: the wheel's library and tool.  Run beside the arm64 root,
# each emulator on a core of its own, with mounts of its own; what it prints
# follows the arm64 step's.
check_i386_root() {
  mounted=()
  trap unmount_all EXIT
  step "Debian 11 i386: $(basename "$i686_wheel")'s library and tool"
  i386_root=$(bullseye_root i386)
  prepare_root "$i386_root" "$pip_cache/bullseye"
  cp "$i686_wheel" "$i386_root/srv/tamsel/"
  in_root "$i386_root" sh -ec '
    cd /srv/tamsel
    rm -rf venv && python3 -m venv venv
    venv/bin/pip install -q --no-index --no-deps ./*.whl
    venv/bin/tamsel data/sample-daily.csv > sample-out.csv
    venv/bin/python -c "
import ctypes, glob
lib = ctypes.CDLL(glob.glob(\"venv/lib/python3.9/site-packages/tamselcharts/libtamselcharts.so.1\")[0])
lib.TamselChart_Version.restype = ctypes.c_char_p
print(\"   the 32-bit library loads: version\", lib.TamselChart_Version().decode())"'
  cmp "$i386_root/srv/tamsel/sample-out.csv" "$reference_csv" || fail "tamsel's CSV on i386 differs"
  echo "   the bundled tamsel's CSV equals the x86-64 one"
}
i386_log=$out/i386-root.log
(check_i386_root) >"$i386_log" 2>&1 &
i386_job=$!

step "Debian 11 arm64 under qemu-aarch64-static: $(basename "$aarch64_wheel")"
arm64_root=$(bullseye_root arm64)
prepare_root "$arm64_root" "$pip_cache/bullseye"
# Under QEMU the whole suite takes about 40 minutes (the command-line tests
# alone 10): the golden values, missing-price policies, streams with their
# snapshots and the wheel's own checks run there.
python_in_root "$arm64_root" "$aarch64_wheel" python/tests/test_batch.py python/tests/test_policies.py \
  python/tests/test_stream.py python/tests/test_wheel.py
cmp "$arm64_root/srv/tamsel/sample-out.csv" "$reference_csv" || fail "tamsel's CSV on arm64 differs"
echo "   the bundled tamsel's CSV equals the x86-64 one"
unmount_all

if ! wait "$i386_job"; then
  cat "$i386_log"
  fail "the Debian 11 i386 root"
fi
i386_job=
cat "$i386_log"

step "scripts/release.sh refuses a dirty tree"
clone=$out/dirty-clone
git clone -q "$root" "$clone"
touch "$clone/stray-file"
if refusal=$(cd "$clone" && bash scripts/release.sh 2>&1); then fail "release.sh ran on a dirty tree"; fi
grep -q "stray-file" <<<"$refusal" || fail "release.sh's refusal names no file: $refusal"
rm -rf "$clone"

step "scripts/release.sh --dry-run in a clean clone"
clone=$out/clean-clone
git clone -q "$root" "$clone"
plan=$(cd "$clone" && bash scripts/release.sh --dry-run) || fail "release.sh --dry-run: $plan"
for wanted in win64.zip manylinux2014_aarch64 SHA256SUMS "tamselcharts-$(sed -n 's/^#define TAMSELCHARTS_VERSION_[A-Z]* *\([0-9]*\)$/\1/p' include/TamselCharts.h | paste -sd.).tar.gz"; do
  grep -qF -- "$wanted" <<<"$plan" || fail "release.sh --dry-run plans no $wanted: $plan"
done
[ ! -e "$clone/dist" ] || fail "release.sh --dry-run made $clone/dist"
rm -rf "$clone"

step "done"
echo "1 passed, 0 failed: install test (the wheels, sdist and .debs on Debian 11 x86-64, arm64 and i386)"
