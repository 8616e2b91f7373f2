# The .xlsx/.xlsm reader: zip and XML layers, the package structure, and the parts.
target_sources(plyfold_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/byte_source.cpp
  ${CMAKE_CURRENT_LIST_DIR}/expat_parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fast_xml_scanner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ole_probe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/opc_package.cpp
  ${CMAKE_CURRENT_LIST_DIR}/color_resolver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xlsx_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shared_strings_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xlsx_sheet_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/styles_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/theme_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/value_parsing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zip_package.cpp
)
