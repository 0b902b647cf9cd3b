# Pictures of users: JPEG/bitmap handling and the large picture window.
set(_arv_picture_sources ${CMAKE_CURRENT_LIST_DIR}/unPicture.cpp)
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/unPictureDetail.cpp)
  list(APPEND _arv_picture_sources ${CMAKE_CURRENT_LIST_DIR}/unPictureDetail.cpp)
endif()
arv_add_library(arv_main_picture SOURCES ${_arv_picture_sources}
                DEPS Qt6::Core Qt6::Gui Qt6::Widgets PkgConfig::JPEG)
