# The eight firmware images the program embeds, as NAME:SIZE in bytes. The
# file of an image is NAME.bin, both in the generated placeholder folder and in
# a folder of real images named by QV_FIRMWARE_DIR.
set(QV_FIRMWARE_IMAGES
  Keyboard25Main:93184
  Keyboard25Second:17192
  Keyboard49Main:94720
  Keyboard49Second:17192
  Keyboard61Main:95488
  Keyboard61Second:17192
  Keyboard88Main:96512
  Keyboard88Second:17300)
