#!/usr/bin/env bash
# Installs from Debian's archive whatever the build, the tests and the demo need and
# this machine lacks. Safe to run again: it does nothing when all is there.
set -euo pipefail

# Extra packages may be named as arguments (`make fuzz` asks for clang this way).
packages=(
    build-essential cmake make pkg-config libcli11-dev clang-14
    googletest libgtest-dev libgmock-dev
    libreoffice-calc libreoffice-dev libreoffice-dev-common python3-uno python3
    xvfb x11-utils locales poppler-utils
    fonts-liberation2
    nats-server libnats-dev
    help2man lintian man-db
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi

if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
        "${missing[@]}"
fi

# A locale with a decimal comma, for the tests that check number conversion under it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    "${sudo[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
