// While with if/else and integer arithmetic, 500,000 turns.
var i = 0;
var a = 0;
while (i < 500000) {
  if (i % 3 == 0) {
    a = a + 2;
  } else {
    a = a - 1;
  }
  i = i + 1;
}
WScript.Echo(a);
