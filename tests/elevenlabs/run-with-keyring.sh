#!/usr/bin/env bash
# Runs a command against a throwaway GNOME Keyring: a private D-Bus session whose
# gnome-keyring-daemon is unlocked with a known password, with private home, data, config,
# runtime and temporary folders, so the user's own keyring is never touched and nothing waits
# on an unlock prompt. The command sees LOROWEN_KEYRING_TEST=1.
# Exits 77 (CTest: skipped) when dbus-run-session or gnome-keyring-daemon is missing.
set -euo pipefail

for tool in dbus-run-session gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null; then
        echo "run-with-keyring: $tool is not installed (scripts/setup installs it)" >&2
        exit 77
    fi
done

root=$(mktemp -d "${TMPDIR:-/tmp}/lorowen-keyring-XXXXXX")
trap 'rm -rf "$root"' EXIT
for dir in home data config cache runtime tmp; do
    mkdir -m 700 "$root/$dir"
done
export HOME="$root/home" XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" \
    XDG_CACHE_HOME="$root/cache" XDG_RUNTIME_DIR="$root/runtime" TMPDIR="$root/tmp"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL BRCT_ELEVENLABS_KEYSTORE
export LOROWEN_KEYRING_TEST=1

status=0
dbus-run-session -- bash -c \
    'echo -n test | gnome-keyring-daemon --unlock --components=secrets >/dev/null && exec "$@"' \
    run-with-keyring "$@" || status=$?
exit "$status"
