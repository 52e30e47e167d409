#!/usr/bin/env bash
# The C++ sources are as clang-format (.clang-format) writes them. Hand-aligned tables
# sit between "// clang-format off" and "// clang-format on".
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' ':!tests/corpus' | xargs -0 clang-format --dry-run --Werror
