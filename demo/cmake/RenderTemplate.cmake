# Renders a template with @VAR@ references from -D definitions: cmake -DIN=... -DOUT=... [-DCRLF=ON]
# -DNAME=value... -P RenderTemplate.cmake. With CRLF the lines are joined by CR LF and the file ends
# without a line break, the layout of the catalogue's project files.
file(READ "${IN}" text)
string(CONFIGURE "${text}" text @ONLY)
if(CRLF)
  string(REGEX REPLACE "\n+$" "" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
endif()
get_filename_component(dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
file(WRITE "${OUT}.tmp" "${text}")
file(RENAME "${OUT}.tmp" "${OUT}")
