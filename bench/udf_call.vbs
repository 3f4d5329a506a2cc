' A two-parameter user-defined function that returns a value, called 300,000 times.
Function mix(x, y)
  mix = x + y * 2
End Function
total = 0
For i = 1 To 300000
  total = mix(total, i) Mod 1000003
Next
WScript.Echo total
