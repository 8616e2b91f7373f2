target_sources(plyfold_engine PRIVATE
  autofit.cpp
  date_serial.cpp
  formula_lexer.cpp
  formula_refs.cpp
  number_format.cpp
  sheet_ops.cpp
)
