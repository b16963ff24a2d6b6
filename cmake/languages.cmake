# The packer's built-in message tables: src/pack/languages/*.json, compiled into the program as a
# generated source (cmake/embed-languages.cmake writes it at build time), so that uninstpack stays
# one self-contained file. Sets LANGUAGE_TABLES_SOURCE to the generated file.
set(LANGUAGE_DIR ${CMAKE_CURRENT_LIST_DIR}/../src/pack/languages)
file(GLOB LANGUAGE_FILES CONFIGURE_DEPENDS ${LANGUAGE_DIR}/*.json)
set(LANGUAGE_TABLES_SOURCE ${CMAKE_BINARY_DIR}/generated/language_tables.cpp)
add_custom_command(
  OUTPUT ${LANGUAGE_TABLES_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${LANGUAGE_TABLES_SOURCE} -DLANGUAGE_DIR=${LANGUAGE_DIR}
          -P ${CMAKE_CURRENT_LIST_DIR}/embed-languages.cmake
  DEPENDS ${LANGUAGE_FILES} ${CMAKE_CURRENT_LIST_DIR}/embed-languages.cmake
  COMMENT "Embedding the message tables of ${LANGUAGE_DIR}"
  VERBATIM)
