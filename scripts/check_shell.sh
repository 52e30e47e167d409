#!/usr/bin/env bash
# The scripts pass shellcheck. A finding that is meant is kept with a
# "# shellcheck disable=CODE # why" line above it.
set -euo pipefail
cd "$(dirname "$0")/.."
# windows-deps.sh's own text is part of its dependency cache's key, so its findings are
# answered here instead of in the file: the patch options ${opts:--p1} are split on
# purpose (SC2086, as is the fixed word $triplet), sed prefixes each line of the
# manifest (SC2001), and $stage is always set under set -u (SC2115).
git ls-files -z 'scripts/*.sh' ':!scripts/windows-deps.sh' | xargs -0 shellcheck
shellcheck --exclude=SC2001,SC2086,SC2115 scripts/windows-deps.sh
