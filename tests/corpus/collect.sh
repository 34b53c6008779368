#!/usr/bin/env bash
# Fetch the Debian packages named in a layout table and place each listed
# file as CACHE_DIR/files/<id>.  Packages already downloaded are not fetched
# again, so several tables can share one cache.  A package named npm:NAME is
# the npm package NAME at the row's version, fetched with `npm pack`; its
# member is a path inside the tarball (package/...).
#
#   tests/corpus/collect.sh [CACHE_DIR] [TABLE]
#
# CACHE_DIR defaults to build/corpus, TABLE to layouts.tsv; a TABLE that is
# not a path to a file is looked for beside this script (heldout.tsv).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
table="$here/layouts.tsv"
if [ -n "${2:-}" ]; then
	if [ -f "$2" ]; then
		table="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
	elif [ -f "$here/$2" ]; then
		table="$here/$2"
	else
		echo "collect.sh: no table $2, neither there nor in $here" >&2
		exit 2
	fi
fi
cache=${1:-"$root/build/corpus"}

for tool in apt-get dpkg-deb gzip bzip2 xz; do
	if ! command -v "$tool" >/dev/null 2>&1; then
		echo "collect.sh: skipped: $tool is not installed" >&2
		exit 77
	fi
done

mkdir -p "$cache/debs" "$cache/npm" "$cache/files"
cache=$(cd "$cache" && pwd)
updated=no

# The table was written against one version of each package; take that one
# while the archive still has it, else the current one (and say so, since
# counts in a changed file may no longer match).
fetch() {
	local pkg=$1 want=$2
	(cd "$cache/debs" && apt-get download "$pkg=$want") >/dev/null 2>&1 && return 0
	if [ "$updated" = no ]; then
		updated=yes
		apt-get update >/dev/null 2>&1 || echo "collect.sh: apt-get update failed" >&2
		(cd "$cache/debs" && apt-get download "$pkg=$want") >/dev/null 2>&1 && return 0
	fi
	echo "collect.sh: $pkg $want is no longer in the archive; taking the current version" >&2
	(cd "$cache/debs" && apt-get download "$pkg") >/dev/null 2>&1 && return 0
	echo "collect.sh: cannot download $pkg" >&2
	return 1
}

deb_of() {
	local f
	for f in "$cache/debs/$1"_*.deb; do
		[ -e "$f" ] && echo "$f" && return
	done
	return 0
}

# npm:NAME at VERSION, kept as npm/<NAME with / as %>_<VERSION>.tgz
tgz_of() {
	local name=${1#npm:}
	echo "$cache/npm/${name//\//%}_$2.tgz"
}

fetch_npm() {
	local name=${1#npm:} version=$2 dir
	dir=$(mktemp -d "$cache/npm/pack.XXXXXX")
	if (cd "$dir" && npm pack --silent "$name@$version") >/dev/null 2>&1 && mv "$dir"/*.tgz "$(tgz_of "$1" "$version")"; then
		rmdir "$dir"
		return 0
	fi
	rm -rf "$dir"
	echo "collect.sh: cannot fetch $name@$version from npm" >&2
	return 1
}

# package and version pairs, once each
col() { awk -F'\t' -v name="$1" 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == name) c = i; next } { print $c }' "$table"; }
if col package | grep -q '^npm:' && ! command -v npm >/dev/null 2>&1; then
	echo "collect.sh: skipped: npm is not installed" >&2
	exit 77
fi
paste <(col package) <(col version) | sort -u | while IFS=$'\t' read -r pkg version; do
	case $pkg in
	npm:*) [ -s "$(tgz_of "$pkg" "$version")" ] || fetch_npm "$pkg" "$version" || true ;;
	*) [ -n "$(deb_of "$pkg")" ] || fetch "$pkg" "$version" || true ;;
	esac
done

work=$(mktemp -d "$cache/unpack.XXXXXX")
trap 'rm -rf "$work"' EXIT
paste <(col id) <(col package) <(col member) <(col unpack) <(col version) | while IFS=$'\t' read -r id pkg member unpack version; do
	out="$cache/files/$id"
	[ -s "$out" ] && continue
	case $pkg in
	npm:*) deb=$(tgz_of "$pkg" "$version") && [ -s "$deb" ] || deb= ;;
	*) deb=$(deb_of "$pkg") ;;
	esac
	if [ -z "$deb" ]; then
		echo "collect.sh: $id: package $pkg missing" >&2
		continue
	fi
	unpacked="$work/${pkg//\//%}"
	if [ ! -d "$unpacked" ]; then
		case $pkg in
		npm:*) mkdir -p "$unpacked" && tar -xzf "$deb" -C "$unpacked" ;;
		*) dpkg-deb -x "$deb" "$unpacked" ;;
		esac
	fi
	src="$unpacked/$member"
	if [ ! -e "$src" ]; then
		echo "collect.sh: $id: $member is not in $(basename "$deb")" >&2
		continue
	fi
	# through a temporary name, so that an interrupted run leaves no half file
	case $unpack in
	-) cp -L "$src" "$out.part" ;;
	gunzip) gzip -dc "$src" >"$out.part" ;;
	bunzip2) bzip2 -dc "$src" >"$out.part" ;;
	xz) xz -dc "$src" >"$out.part" ;;
	*) echo "collect.sh: $id: unknown unpack method $unpack" >&2 && continue ;;
	esac
	mv "$out.part" "$out"
done

{
	for deb in "$cache"/debs/*.deb; do
		dpkg-deb -f "$deb" Package Version | paste - -
	done | sed 's/Package: //; s/Version: //'
	for tgz in "$cache"/npm/*_*.tgz; do
		[ -e "$tgz" ] || continue
		name=$(basename "$tgz" .tgz)
		printf 'npm:%s\t%s\n' "$(echo "${name%_*}" | tr % /)" "${name##*_}"
	done
} >"$cache/versions.tsv"

missing=0
for id in $(col id); do
	[ -s "$cache/files/$id" ] || missing=$((missing + 1))
done
debs=$({ du -cb "$cache"/debs/*.deb "$cache"/npm/*_*.tgz 2>/dev/null || true; } | tail -n 1 | cut -f 1)
echo "collect.sh: $(($(col id | wc -l) - missing)) files in $cache/files, $missing missing ($((debs / 1024)) KiB of packages in $cache/debs)"
[ "$missing" -eq 0 ]
