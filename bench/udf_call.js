// A two-parameter user-defined function that returns a value, called 300,000 times.
function mix(x, y) {
  return x + y * 2;
}
var total = 0;
for (var i = 1; i <= 300000; i++) {
  total = mix(total, i) % 1000003;
}
WScript.Echo(total);
