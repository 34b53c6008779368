#!/usr/bin/env bash
# Fetch the Debian packages named in a layout table and place each listed
# file as CACHE_DIR/files/<id>.  Packages already downloaded are not fetched
# again, so several tables can share one cache.
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

mkdir -p "$cache/debs" "$cache/files"
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

# package and version pairs, once each
col() { awk -F'\t' -v name="$1" 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == name) c = i; next } { print $c }' "$table"; }
paste <(col package) <(col version) | sort -u | while IFS=$'\t' read -r pkg version; do
	[ -n "$(deb_of "$pkg")" ] || fetch "$pkg" "$version" || true
done

work=$(mktemp -d "$cache/unpack.XXXXXX")
trap 'rm -rf "$work"' EXIT
paste <(col id) <(col package) <(col member) <(col unpack) | while IFS=$'\t' read -r id pkg member unpack; do
	out="$cache/files/$id"
	[ -s "$out" ] && continue
	deb=$(deb_of "$pkg")
	if [ -z "$deb" ]; then
		echo "collect.sh: $id: package $pkg missing" >&2
		continue
	fi
	[ -d "$work/$pkg" ] || dpkg-deb -x "$deb" "$work/$pkg"
	src="$work/$pkg/$member"
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

for deb in "$cache"/debs/*.deb; do
	dpkg-deb -f "$deb" Package Version | paste - -
done | sed 's/Package: //; s/Version: //' >"$cache/versions.tsv"

missing=0
for id in $(col id); do
	[ -s "$cache/files/$id" ] || missing=$((missing + 1))
done
debs=$(du -cb "$cache"/debs/*.deb | tail -n 1 | cut -f 1)
echo "collect.sh: $(($(col id | wc -l) - missing)) files in $cache/files, $missing missing ($((debs / 1024)) KiB of packages in $cache/debs)"
[ "$missing" -eq 0 ]
