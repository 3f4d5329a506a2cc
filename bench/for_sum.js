// Counting loop: for with an accumulating assignment, 1,000,000 turns.
var total = 0;
for (var i = 1; i <= 1000000; i++) {
  total = total + 2;
}
WScript.Echo(total);
