# Shared by the harness scripts: fresh per-run prefixes copied from one
# template per kind, kept outside the work tree.
KIVO_PREFIX_CACHE=${KIVO_PREFIX_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kivo-wine}
KIVO_HARNESS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Wine's 32-bit loader needs a kernel that can run 32-bit code. Some virtual
# machines cannot; there only 64-bit prefixes exist and the "win7" kind is a
# 64-bit prefix that reports Windows 7.
kivo_wine32_works() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}
if kivo_wine32_works; then
    KIVO_WINE=${KIVO_WINE:-/usr/lib/wine/wine}
    KIVO_WIN7_ARCH=win32
else
    KIVO_WINE=${KIVO_WINE:-/usr/lib/wine/wine64}
    KIVO_WIN7_ARCH=win64
fi
export KIVO_WINE

kivo_arch_of() {
    case "$1" in win7) echo "$KIVO_WIN7_ARCH" ;; *) echo win64 ;; esac
}

# kivo_template <kind>: prints the template prefix, creating it once.
kivo_template() {
    local kind=$1 template="$KIVO_PREFIX_CACHE/template-$1"
    mkdir -p "$KIVO_PREFIX_CACHE"
    (
        flock 9
        if [ ! -f "$template/.complete" ]; then
            "$KIVO_HARNESS_DIR/make-prefix" "$kind" "$template" >&2
            touch "$template/.complete"
        fi
    ) 9>"$KIVO_PREFIX_CACHE/.lock-$kind"
    echo "$template"
}

# kivo_new_prefix <kind>: prints a fresh copy of the template.
kivo_new_prefix() {
    local template prefix
    template=$(kivo_template "$1") || return 1
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/kivo-prefix-$1.XXXXXX")
    cp -a "$template/." "$prefix/"
    rm -f "$prefix/.complete"
    echo "$prefix"
}
