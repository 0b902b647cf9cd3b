# Pictures of users: JPEG/bitmap decoding and encoding, size limit and detail texts.
arv_add_library(arv_main_picture
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unPicture.h ${CMAKE_CURRENT_LIST_DIR}/unPicture.cpp
  DEPS Qt6::Core Qt6::Gui PkgConfig::JPEG)
