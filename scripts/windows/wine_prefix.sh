# Sourced by the Windows checks: make_wine_prefix makes the Wine prefix $WINEPREFIX. Windows has its
# Tahoma and MS Sans Serif; Wine's own stand-ins for them (Debian's fonts-wine) are linked into the
# prefix's Fonts folder, where this Wine build looks for them. Without them Wine draws every dialog
# in whichever font comes first on the machine, which measures nothing like Windows.
make_wine_prefix() {
  wine64 wineboot -i >/dev/null 2>&1
  local fonts=/usr/share/wine/fonts
  if [[ -d $fonts ]]; then
    ln -sf "$fonts"/*.ttf "$fonts"/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
  else
    echo "wine: no $fonts (Debian's fonts-wine): the windows are drawn in another font" >&2
  fi
}
