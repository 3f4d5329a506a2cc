// An array of 200,000 cells: fill, then sum.
var n = 200000;
var a = new Array(n);
for (var i = 0; i < n; i++) {
  a[i] = i % 1000;
}
var total = 0;
for (var i = 0; i < n; i++) {
  total = total + a[i];
}
WScript.Echo(total);
