#!/usr/bin/env bash
# Installs i386 packages beside the amd64 ones, unattended:
#   install_i386.sh PACKAGE:i386...      (wine32:i386, libsqlite3-0:i386, ...)
#
# The plain install is tried first. When the package mirror serves a broken
# i386 index of the security suite, i386 sees the main suite only, while some
# Multi-Arch: same libraries of the packages' closure are installed (or would
# be upgraded) for amd64 at a security version that i386 does not offer; both
# architectures of such a library must be at one version. Then, for this one
# command and without writing under /etc:
#   - the security suite is pinned to priority 100, so that no amd64 package
#     is upgraded past what i386 offers;
#   - each Multi-Arch: same library of the closure whose installed amd64
#     version is newer than the i386 one is named for both architectures at
#     the i386 version (a downgrade within the same release). That changes
#     installed amd64 packages, so it is done only with QV_ALLOW_DOWNGRADES=1;
#     without it the script names the packages and fails.
set -euo pipefail

have() { dpkg -s "$1" >/dev/null 2>&1; }
missing=()
for package in "$@"; do have "$package" || missing+=("$package"); done
((${#missing[@]})) || exit 0

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# A broken index of one suite makes update fail; what it did fetch is used.
apt-get update -qq >/dev/null 2>&1 || true

if apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
  exit 0
fi

echo "== i386: the plain install failed; pinning the security suite for i386's sake"
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
preferences=$(mktemp -d)
trap 'rm -rf "$preferences"' EXIT
printf 'Package: *\nPin: release n=%s-security\nPin-Priority: 100\n' "$codename" \
  >"$preferences/security.pref"
apt_pinned=(-o "Dir::Etc::PreferencesParts=$preferences")

candidate() {  # candidate PACKAGE:ARCH
  apt-cache "${apt_pinned[@]}" policy "$1" 2>/dev/null | awk '/Candidate:/ {print $2; exit}'
}

pairs=()
closure=$(apt-cache "${apt_pinned[@]}" depends --recurse --no-recommends --no-suggests \
  --no-conflicts --no-breaks --no-replaces --no-enhances "${missing[@]}" 2>/dev/null |
  grep -E '^[a-z0-9]' | grep ':i386$' | sort -u)
for package in $closure; do
  name=${package%:i386}
  installed=$(dpkg-query -W -f='${Version}' "$name:amd64" 2>/dev/null || true)
  [[ -n $installed ]] || continue
  multi_arch=$(dpkg-query -W -f='${Multi-Arch}' "$name:amd64" 2>/dev/null || true)
  [[ $multi_arch == same ]] || continue
  offered=$(candidate "$name:i386")
  [[ -n $offered && $offered != "(none)" ]] || continue
  if dpkg --compare-versions "$installed" gt "$offered"; then
    pairs+=("$name:amd64=$offered" "$name:i386=$offered")
  fi
done
if ((${#pairs[@]})); then
  if [[ ${QV_ALLOW_DOWNGRADES:-0} != 1 ]]; then
    echo "install_i386.sh: installing ${missing[*]} needs these installed amd64 packages" >&2
    echo "downgraded to the i386 version: ${pairs[*]}" >&2
    echo "Run again with QV_ALLOW_DOWNGRADES=1 to allow it." >&2
    exit 1
  fi
  echo "== i386: amd64 and i386 at one version (QV_ALLOW_DOWNGRADES=1): ${pairs[*]}"
fi
apt-get install -y -qq --no-install-recommends --allow-downgrades "${apt_pinned[@]}" \
  "${missing[@]}" "${pairs[@]}" >/dev/null
for package in "${missing[@]}"; do have "$package"; done
