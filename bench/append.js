// Builds a 100,000-character text by appending one character at a time.
var s = "";
for (var i = 1; i <= 100000; i++) {
  s = s + "x";
}
WScript.Echo(s.length);
