' An array of 200,000 cells: fill, then sum.
n = 200000
Dim a()
ReDim a(n - 1)
For i = 0 To n - 1
  a(i) = i Mod 1000
Next
total = 0
For i = 0 To n - 1
  total = total + a(i)
Next
WScript.Echo total
