# Setwell's resources: Setwell.rc with its artwork, in the OBJECT library qelvo_setwell_resources
# that Setwell.exe links.
qelvo_add_program_resources(qelvo_setwell_resources RC Setwell.rc ENGLISH ${CMAKE_CURRENT_SOURCE_DIR}/SetwellEnglish.rc
  ART setwell.ico calibrate.ico linetest.ico logo.bmp logomask.bmp)
