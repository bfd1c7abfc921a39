# AddressSanitizer and UndefinedBehaviorSanitizer for the test build. They are
# applied globally so that every object, library and test shares one runtime.
if(QV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
