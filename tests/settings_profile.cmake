# The profile-file layer; links only plain libraries, which proves they need no Qt.
zp_add_test(NAME settings_profile_test
  SOURCES settings_profile_test.cpp
  LIBS zp_settings
  LABELS settings)
