#!/usr/bin/env bash
# The AppStream metadata as `cmake --install` puts it: in share/metainfo, and valid for
# appstreamcli (without network: the screenshot's address is not fetched).
#   tests/metainfo.sh BUILD_DIR
set -u
build="$1"
prefix="$(mktemp -d "${TMPDIR:-/tmp}/tavex-install-XXXXXX")"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install" >&2; exit 1; }
file="$prefix/share/metainfo/tavex2epwing-gui.metainfo.xml"
[[ -f "$file" ]] || { echo "FAIL: $file not installed" >&2; exit 1; }
appstreamcli validate --no-net --pedantic "$file"
