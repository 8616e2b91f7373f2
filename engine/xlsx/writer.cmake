# The .xlsx writer (one file per package part), the zip container it streams into, and the
# saving of workbooks and of sheets as comma-separated text.
target_sources(plyfold_engine PRIVATE
  xlsx/atomic_file_writer.cpp
  xlsx/content_types_writer.cpp
  xlsx/doc_props_writer.cpp
  xlsx/relationships_writer.cpp
  xlsx/shared_strings_writer.cpp
  xlsx/styles_writer.cpp
  xlsx/theme_writer.cpp
  xlsx/workbook_part_writer.cpp
  xlsx/worksheet_writer.cpp
  xlsx/xlsx_writer.cpp
  xlsx/xlsx_writer_plan.cpp
  xlsx/xml_stream_writer.cpp
  xlsx/zip_writer.cpp
  workbook_save.cpp
  csv_export.cpp
)
