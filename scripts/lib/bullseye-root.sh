# SPDX-License-Identifier: MIT
# Debian 11 (bullseye) roots for trying the packages on an older system than
# the build machine (glibc 2.31, Python 3.9); sourced by the scripts.
#
#   bullseye_root ARCH     prints the path of a ready root for ARCH
#                          (amd64, i386 or arm64), making it first if needed
#
# A root is made once per ROOT_RECIPE and kept under /var/cache/tamselcharts,
# so later runs download nothing.  It is built beside its final place and
# renamed into it only when complete: an interrupted run leaves no half root
# that a later run would take for a finished one.  arm64 roots are made in two
# stages, the second inside the root through the binfmt-registered
# qemu-aarch64-static; i386 code runs on the x86-64 kernel as it is.
ROOT_CACHE=${TAMSEL_ROOT_CACHE:-/var/cache/tamselcharts/roots}
# Changing what goes into a root changes this string and so makes new roots.
ROOT_RECIPE=bullseye-minbase-python3-venv-pip-gcc-1
ROOT_PACKAGES=python3,python3-venv,python3-pip,gcc,libc6-dev

enable_arm64_binfmt() {
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ]; then
    update-binfmts --enable qemu-aarch64 >&2
  fi
}

bullseye_root() {
  local arch=$1
  local root=$ROOT_CACHE/$ROOT_RECIPE-$arch
  if [ -f "$root/.complete" ]; then
    echo "$root"
    return 0
  fi
  local partial=$root.partial
  rm -rf "$partial"
  mkdir -p "$ROOT_CACHE"
  echo "making the Debian 11 $arch root in $root (a few minutes, once)" >&2
  if [ "$arch" = arm64 ]; then
    enable_arm64_binfmt
    debootstrap --variant=minbase --arch=arm64 --foreign --include="$ROOT_PACKAGES" bullseye "$partial" \
      http://deb.debian.org/debian >&2
    chroot "$partial" /debootstrap/debootstrap --second-stage >&2
  else
    debootstrap --variant=minbase --arch="$arch" --include="$ROOT_PACKAGES" bullseye "$partial" \
      http://deb.debian.org/debian >&2
  fi
  touch "$partial/.complete"
  mv "$partial" "$root"
  echo "$root"
}
