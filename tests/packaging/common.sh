# What the packaging checks share, sourced by each: a scratch folder removed when the check
# ends, and fail(), which reports what is wrong and stops the check.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
