target_sources(plyfold_engine PRIVATE
  workbook_open.cpp
  csv/delimited_text_reader.cpp
  csv/field_typing.cpp
  csv/file_bytes.cpp
  csv/file_sheet_name.cpp
  csv/text_decoding.cpp
  dbf/code_page.cpp
  dbf/dbf_reader.cpp
  dbf/dbf_table.cpp
  dbf/memo_file.cpp
  xls/biff_cell_values.cpp
  xls/biff_globals.cpp
  xls/biff_records.cpp
  xls/compound_file.cpp
  xls/xls_reader.cpp
)
