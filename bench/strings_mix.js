// Text functions over a 2,000-item list, ten passes: split takes the items, length,
// substr and comparisons score each.
var n = 2000;
var list = "w1";
for (var i = 2; i <= n; i++) {
  list = list + ",w" + ((i * 7919) % 100000);
}
var items = list.split(",");
var total = 0;
for (var pass = 1; pass <= 10; pass++) {
  for (var i = 1; i <= n; i++) {
    var item = items[i - 1];
    var k = item.length;
    if (item.substr(k - 1, 1) == "7") {
      total = total + k * 3;
    } else {
      total = total + k;
    }
    if (item.substr(1, 2) == item.substr(k - 2, 2)) {
      total = total + 100;
    }
  }
}
WScript.Echo(total);
