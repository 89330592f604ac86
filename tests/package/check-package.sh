#!/usr/bin/env bash
# Checks the Debian package without installing it: check-package.sh STEP BUILD_DIR
#   build      makes the package with cpack into BUILD_DIR/package-test
#   contents   the files and control fields a user relies on are there
#   extracted  the programs of an unpacked copy convert the Access sample with their own helper
#   lintian    lintian finds no error and no warning that is not explained in its overrides
#   metainfo   appstreamcli accepts the AppStream file
#   desktop    desktop-file-validate accepts the menu entry, which opens the files it offers to
#   manpages   man reads both pages without a warning
# Exit status 77 (skipped) when a tool the step needs is not installed.
set -euo pipefail
step=$1
build=$(cd "$2" && pwd)
work=$build/package-test

need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
    done
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
deb() {
    local found=("$work"/pontrel_*.deb)
    [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || fail "expected one package in $work"
    printf '%s\n' "${found[0]}"
}
# The package unpacked into a fresh temporary folder, removed on exit.
unpack() {
    unpacked=$(mktemp -d "${TMPDIR:-/tmp}/pontrel-deb-XXXXXX")
    trap 'rm -rf "$unpacked"' EXIT
    dpkg-deb -x "$(deb)" "$unpacked"
}

case $step in
build)
    need cpack dpkg-deb dpkg-shlibdeps
    rm -rf "$work"
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$build/package-test.log" 2>&1 ||
        { cat "$build/package-test.log"; fail "cpack failed"; }
    version=$("$build/bin/pontrel-convert" --version | awk '{print $NF}')
    arch=$(dpkg --print-architecture)
    [ -f "$work/pontrel_${version}_${arch}.deb" ] || fail "no $work/pontrel_${version}_${arch}.deb"
    ;;
contents)
    need dpkg-deb
    package=$(deb)
    listing=$(dpkg-deb --contents "$package")
    missing=0
    for path in \
        ./usr/bin/pontrel ./usr/bin/pontrel-convert ./usr/libexec/pontrel/pontrel-mdb-loader \
        ./usr/share/applications/pontrel.desktop \
        ./usr/share/icons/hicolor/16x16/apps/pontrel.png ./usr/share/icons/hicolor/32x32/apps/pontrel.png \
        ./usr/share/icons/hicolor/48x48/apps/pontrel.png ./usr/share/icons/hicolor/64x64/apps/pontrel.png \
        ./usr/share/icons/hicolor/128x128/apps/pontrel.png ./usr/share/icons/hicolor/256x256/apps/pontrel.png \
        ./usr/share/icons/hicolor/scalable/apps/pontrel.svg \
        ./usr/share/metainfo/example.ostrand.pontrel.metainfo.xml \
        ./usr/share/man/man1/pontrel.1.gz ./usr/share/man/man1/pontrel-convert.1.gz \
        ./usr/share/bash-completion/completions/pontrel-convert \
        ./usr/share/doc/pontrel/README.md ./usr/share/doc/pontrel/copyright ./usr/share/doc/pontrel/changelog.gz; do
        grep -q " $path\$" <<<"$listing" || { echo "missing: $path"; missing=1; }
    done
    # Nothing of the build tree or the tests gets in.
    if grep -E '_test$|/tests?/|make_sample_database|pontrel_icon_png|\.a$' <<<"$listing"; then
        fail "files that do not belong in the package"
    fi
    [ $missing -eq 0 ] || fail "files missing from the package"
    if grep -v ' root/root ' <<<"$listing"; then fail "files not owned by root"; fi
    grep -E '^-rwxr-xr-x .* \./usr/(bin/pontrel-convert|libexec/pontrel/pontrel-mdb-loader)$' <<<"$listing" |
        wc -l | grep -qx 2 || fail "the programs are not executable"

    # Control fields: the version is the program's, and dpkg-shlibdeps filled in the dependencies.
    version=$("$build/bin/pontrel-convert" --version | awk '{print $NF}')
    [ "$(dpkg-deb -f "$package" Package)" = pontrel ] || fail "package name"
    [ "$(dpkg-deb -f "$package" Version)" = "$version" ] || fail "version is not $version"
    depends=$(dpkg-deb -f "$package" Depends)
    for library in libc6 libsqlite3-0 libicu libmdb3 libqt6widgets6 'libstdc++6' libgdal; do
        grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
    done
    echo "$listing"
    echo "Depends: $depends"
    ;;
extracted)
    need dpkg-deb ogrinfo
    unpack
    convert=$unpacked/usr/bin/pontrel-convert
    [ ! -e "$unpacked/usr/bin/pontrel-mdb-loader" ] || fail "the helper sits next to the programs"
    "$convert" --version | grep -q '^pontrel-convert (Vessamo Pontrel) ' || fail "--version"
    # The Access sample is read through the unpacked helper: no other copy is next to the program.
    mkdir "$unpacked/out"
    (cd "$unpacked" && "$convert" "$build/sample/vessamo-sample.mdb" --parameter Temperatura --folder out) \
        >"$unpacked/stdout" 2>"$unpacked/stderr" || { cat "$unpacked/stderr"; fail "the conversion failed"; }
    grep -qx "Parameter Shape File 'Temperatura.shp' was created with success" "$unpacked/stdout" ||
        fail "no success message: $(cat "$unpacked/stdout")"
    features=$(ogrinfo -ro -so "$unpacked/out/Temperatura.shp" Temperatura | sed -n 's/^Feature Count: //p')
    [ "${features:-0}" -gt 0 ] || fail "the shapefile holds no points"
    # The same files as the build tree's converter writes.
    mkdir "$unpacked/reference"
    "$build/bin/pontrel-convert" "$build/sample/vessamo-sample.mdb" --parameter Temperatura \
        --folder "$unpacked/reference" >/dev/null 2>&1
    for ext in shp shx dbf cpg; do
        cmp "$unpacked/out/Temperatura.$ext" "$unpacked/reference/Temperatura.$ext" ||
            fail "Temperatura.$ext differs from the build tree's"
    done
    # GDAL, loaded only for a GeoPackage, is found by its soname from the unpacked program too.
    (cd "$unpacked" && "$convert" "$build/sample/vessamo-sample.mdb" --parameter Temperatura --folder out \
        --format gpkg) >/dev/null 2>"$unpacked/stderr" || { cat "$unpacked/stderr"; fail "the GeoPackage failed"; }
    [ "$(ogrinfo -ro -so "$unpacked/out/Temperatura.gpkg" Temperatura | sed -n 's/^Feature Count: //p')" = \
        "$features" ] || fail "the GeoPackage does not hold the shapefile's points"
    echo "converted $features points with the unpacked programs"
    ;;
lintian)
    need lintian
    output=$(lintian --fail-on error,warning,pedantic --display-info --pedantic --show-overrides "$(deb)" 2>&1) ||
        { echo "$output"; fail "lintian found errors or unexplained warnings"; }
    echo "$output"
    ;;
metainfo)
    need dpkg-deb appstreamcli
    unpack
    appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml
    ;;
desktop)
    need dpkg-deb desktop-file-validate
    unpack
    entry=$unpacked/usr/share/applications/pontrel.desktop
    desktop-file-validate "$entry"
    grep -qx 'Exec=pontrel %f' "$entry" || fail "the entry does not pass the file it is opened with"
    for type in application/vnd.ms-access application/vnd.sqlite3; do
        grep -q "^MimeType=.*$type;" "$entry" || fail "the entry does not offer to open $type"
    done
    ;;
manpages)
    need dpkg-deb man
    unpack
    for page in "$unpacked"/usr/share/man/man1/*.1.gz; do
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
        LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^EXIT STATUS' ||
            fail "$(basename "$page") has no EXIT STATUS"
    done
    ;;
*)
    fail "unknown step $step"
    ;;
esac
