# What both packaging checks start with: their arguments (the build folder, the project version,
# the application id), a temporary folder removed at exit, and fail.
set -euo pipefail
build=$1 version=$2 id=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
