# Reads lv2info's listing of one plug-in and prints each port on one line:
# index|types|symbol|name|minimum|maximum|default|properties|scale points|designation
# (types, properties and scale points sorted, LV2 namespaces cut off), then
# one "preset|LABEL" line for each preset, sorted.
function flush() {
  if (port == "") return
  printf "%s|%s|%s|%s|%s|%s|%s|%s|%s|%s\n", port, joined(types), symbol, name, minimum, maximum, deflt,
    joined(props), joined(points), designation
  port = ""
}
function short(uri) { sub(/^http:\/\/lv2plug\.in\/ns\/[a-z0-9\/-]*#/, "", uri); return uri }
function joined(list,    n, i, j, t, out) {
  n = split(list, parts, "\t")
  for (i = 2; i <= n; i++) for (j = i; j > 2 && parts[j - 1] > parts[j]; j--) { t = parts[j]; parts[j] = parts[j - 1]; parts[j - 1] = t }
  out = ""
  for (i = 2; i <= n; i++) out = out (i > 2 ? "," : "") parts[i]
  return out
}
function value(line) { sub(/^[^:]*:[ ]*/, "", line); return line }
/^\tPresets:/ { flush(); inPresets = 1; next }
/^\tPort [0-9]+:/ {
  flush(); inPresets = 0; section = ""
  port = $2; sub(/:/, "", port)
  types = props = points = ""; symbol = name = minimum = maximum = deflt = designation = ""
  next
}
inPresets && /^\t +[^ ]/ { label = $0; sub(/^[ \t]+/, "", label); presets[++npresets] = label; next }
port == "" { next }
/^\t\tType:/ { section = "type"; types = types "\t" short(value($0)); next }
/^\t\tProperties:/ { section = "props"; props = props "\t" short(value($0)); next }
/^\t\tScale Points:/ { section = "points"; next }
/^\t\tSymbol:/ { section = ""; symbol = value($0); next }
/^\t\tName:/ { name = value($0); next }
/^\t\tMinimum:/ { minimum = value($0); next }
/^\t\tMaximum:/ { maximum = value($0); next }
/^\t\tDefault:/ { deflt = value($0); next }
/^\t\tDesignation:/ { designation = short(value($0)); next }
/^\t\t\t/ && section == "points" { p = $0; sub(/^[ \t]+/, "", p); points = points "\t" p; next }
/^\t\t +[a-z]/ && section == "type" { t = $0; sub(/^[ \t]+/, "", t); types = types "\t" short(t); next }
/^\t\t +[a-z]/ && section == "props" { t = $0; sub(/^[ \t]+/, "", t); props = props "\t" short(t); next }
END {
  flush()
  for (i = 2; i <= npresets; i++) for (j = i; j > 1 && presets[j - 1] > presets[j]; j--) { t = presets[j]; presets[j] = presets[j - 1]; presets[j - 1] = t }
  for (i = 1; i <= npresets; i++) print "preset|" presets[i]
}
