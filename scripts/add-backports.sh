#!/bin/bash
# Adds Debian's bookworm-backports suite to apt's sources, served by the same
# archive as the machine's own bookworm entry, so that no host is named here.
# Usage: add-backports.sh [APT_DIR]   (default /etc/apt; tests pass a copy)
#
# Reads APT_DIR/sources.list and APT_DIR/sources.list.d/*.list (one-line
# entries) and *.sources (deb822 stanzas), takes the first enabled "deb"
# entry whose suites include bookworm and whose components include main, and
# writes APT_DIR/sources.list.d/bookworm-backports.sources with its first URI
# and its Signed-By. Does nothing when a bookworm-backports entry exists.
# Exits 1 when no entry serves bookworm main.
set -euo pipefail
apt_dir=${1:-/etc/apt}
target=$apt_dir/sources.list.d/bookworm-backports.sources

files=()
for f in "$apt_dir/sources.list" "$apt_dir"/sources.list.d/*.list "$apt_dir"/sources.list.d/*.sources; do
  [ -f "$f" ] && files+=("$f")
done
if ((${#files[@]} == 0)); then
  echo "add-backports: no apt sources under $apt_dir" >&2
  exit 1
fi

# Prints "<suite-match> <uri> <signed-by or ->" for each enabled deb entry:
# suite-match is "backports" if it serves bookworm-backports, "main" if it
# serves bookworm with component main, "other" otherwise.
entries() {
  awk '
    function has(list, word,   n, i, a) {
      n = split(list, a, /[ \t]+/)
      for (i = 1; i <= n; i++) if (a[i] == word) return 1
      return 0
    }
    function emit(types, uris, suites, comps, signed,   n, u) {
      if (!has(types, "deb")) return
      n = split(uris, u, /[ \t]+/)
      if (u[1] == "") { if (n < 2) return; u[1] = u[2] }
      if (signed == "") signed = "-"
      if (has(suites, "bookworm-backports")) print "backports", u[1], signed
      else if (has(suites, "bookworm") && has(comps, "main")) print "main", u[1], signed
      else print "other", u[1], signed
    }
    function flush() {
      if (stanza && tolower(f["enabled"]) != "no")
        emit(f["types"], f["uris"], f["suites"], f["components"], f["signed-by"])
      stanza = 0
      split("", f)
    }
    FNR == 1 { flush(); deb822 = (FILENAME ~ /\.sources$/) }
    /^[ \t]*#/ { next }
    deb822 && /^[ \t]*$/ { flush(); next }
    deb822 && /^[ \t]/ { next }    # a continuation line (an inline key): ignored
    deb822 {
      i = index($0, ":")
      if (i == 0) next
      key = tolower(substr($0, 1, i - 1))
      value = substr($0, i + 1)
      gsub(/^[ \t]+|[ \t]+$/, "", value)
      # Only a key file is carried over, not a key written inline.
      if (key == "signed-by" && value !~ /^\//) value = ""
      f[key] = value
      stanza = 1
      next
    }
    !deb822 && $1 == "deb" {
      line = $0
      sub(/^[ \t]+/, "", line)
      signed = ""
      if (match(line, /\[[^]]*\]/)) {
        options = substr(line, RSTART + 1, RLENGTH - 2)
        line = substr(line, 1, RSTART - 1) substr(line, RSTART + RLENGTH)
        n = split(options, o, /[ \t]+/)
        for (j = 1; j <= n; j++) if (o[j] ~ /^signed-by=/) signed = substr(o[j], 11)
      }
      n = split(line, w, /[ \t]+/)
      comps = ""
      for (j = 4; j <= n; j++) comps = comps " " w[j]
      emit("deb", w[2], w[3], comps, signed)
    }
    END { flush() }
  ' "${files[@]}"
}

list=$(entries)
if grep -q '^backports ' <<<"$list"; then
  echo "add-backports: bookworm-backports is already among the sources"
  exit 0
fi
read -r _ uri signed < <(grep '^main ' <<<"$list" || true) || true
if [ -z "${uri:-}" ]; then
  echo "add-backports: no source under $apt_dir serves bookworm main" >&2
  exit 1
fi
mkdir -p "$apt_dir/sources.list.d"
{
  echo "Types: deb"
  echo "URIs: $uri"
  echo "Suites: bookworm-backports"
  echo "Components: main"
  if [ "$signed" != "-" ]; then echo "Signed-By: $signed"; fi
} >"$target"
echo "add-backports: wrote $target (bookworm-backports from $uri)"
