# The man pages, installed gzip-compressed with the project's version in
# their footer (cmake/man_page.cmake). Linux only; bmp256.1 with the desktop
# program.
if(WIN32)
  return()
endif()
set(BMP256_MAN_PAGES bmp256-convert)
if(TARGET bmp256)
  list(APPEND BMP256_MAN_PAGES bmp256)
endif()
foreach(page ${BMP256_MAN_PAGES})
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.1)
  set(output ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${source} -DOUTPUT=${output} -DVERSION=${PROJECT_VERSION}
            -P ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    COMMENT "Man page ${page}.1.gz")
  add_custom_target(man_${page} ALL DEPENDS ${output})
  install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
