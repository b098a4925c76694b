# Window polish: captions that fit, fonts, the tab chain of each settings page, rows, bevels
# and pictures, at 100 % and, by the same binary, at the scales of high-resolution screens.
find_package(Qt6 REQUIRED COMPONENTS Test)

zp_add_test(NAME app_polish_test
  SOURCES app_polish_test.cpp app_support.h
  LIBS zp_app Qt6::Test
  LABELS app
  TIMEOUT 120)
