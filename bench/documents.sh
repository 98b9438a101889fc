# Sourced by the CUPS benchmarks: writes the two documents they print,
# DIR/text20.ps (20 pages of text) and DIR/image20.ps (20 pages with an
# 8-bit image each).
bench_documents() {
  local dir=$1 p l
  {
    echo '%!PS-Adobe-3.0'; echo '%%Pages: 20'; echo '%%EndComments'
    echo '/Helvetica findfont 11 scalefont setfont'
    for p in $(seq 1 20); do
      echo "%%Page: $p $p"
      for l in $(seq 1 45); do echo "60 $((780 - l * 16)) moveto (Page $p, line $l: the quick brown fox jumps over the lazy dog 0123456789.) show"; done
      echo showpage
    done
    echo '%%EOF'
  } >"$dir/text20.ps"
  {
    echo '%!PS-Adobe-3.0'; echo '%%Pages: 20'; echo '%%EndComments'
    for p in $(seq 1 20); do
      echo "%%Page: $p $p"
      echo "gsave 36 36 translate 523 770 scale /row 400 string def /y 0 def"
      echo "400 400 8 [400 0 0 -400 0 400] { /y y 1 add def 0 1 399 { row exch dup dup y add $p mul 7 mod 30 mul exch 255 mul 400 idiv add 255 and put } for row } image grestore showpage"
    done
    echo '%%EOF'
  } >"$dir/image20.ps"
}
