# Until the engine's file layer (file_io, page_file, journal, db_create) has a
# Windows implementation, the rest of the engine, the converter, the actions
# and the command line are compiled for Windows here (not linked), so that
# nothing else in them slips back to POSIX-only calls.
set(engine_sources
  error.cpp rc4.cpp text_codec.cpp header.cpp data_page.cpp
  table_def.cpp usage_map.cpp row_layout.cpp long_value.cpp value_decode.cpp
  table_scan.cpp index_walk.cpp catalog.cpp variant.cpp dao.cpp
  index_key.cpp index_check.cpp row_encode.cpp page_alloc.cpp data_page_write.cpp row_store.cpp index_write.cpp
  sql_reserved.cpp sql_word_chars.cpp sql_parser.cpp expr_eval.cpp properties.cpp relationships.cpp value_encode.cpp update_exec.cpp
  text_key.cpp table_create.cpp long_value_write.cpp table_writer.cpp catalog_write.cpp
  write_exec.cpp ddl_exec.cpp property_blob.cpp)
list(TRANSFORM engine_sources PREPEND ${CMAKE_SOURCE_DIR}/engine/)
file(GLOB convert_sources ${CMAKE_SOURCE_DIR}/convert/*.cpp)
set(app_sources dump.cpp script_cmd.cpp convert_cmd.cpp copy_cmd.cpp check_cmd.cpp json_out.cpp
  create_cmd.cpp demo_cmd.cpp sql_split.cpp sql_cmd.cpp main.cpp window_launch_win32.cpp)
list(TRANSFORM app_sources PREPEND ${CMAKE_SOURCE_DIR}/app/)
add_library(vantrel_compile_check OBJECT ${engine_sources} ${convert_sources}
  ${CMAKE_SOURCE_DIR}/ui/main_actions.cpp ${CMAKE_SOURCE_DIR}/ui/emulator_copy.cpp
  ${CMAKE_SOURCE_DIR}/ui/emulator_folder_win32.cpp ${app_sources})
target_include_directories(vantrel_compile_check PRIVATE
  ${CMAKE_SOURCE_DIR}/engine ${CMAKE_SOURCE_DIR}/convert ${CMAKE_SOURCE_DIR}/ui ${CMAKE_SOURCE_DIR}/app)
target_link_libraries(vantrel_compile_check PRIVATE vantrel_platform vantrel_win32_ui CLI11::CLI11 nlohmann_json::nlohmann_json)
