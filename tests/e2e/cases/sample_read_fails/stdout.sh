# /proc/self/mem opens, but its read at offset 0 fails: the run goes on as
# on an empty file.
sed 's|empty.dat|/proc/self/mem|' "$(dirname "$0")/../empty_file/stdout"
