#!/usr/bin/env bash
# Shows what both plug-ins answer for the bundled samples (inside wine-session.sh).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
echo "demo: not yet"
