' While with If/Else and integer arithmetic, 500,000 turns.
i = 0
a = 0
While i < 500000
  If i Mod 3 = 0 Then
    a = a + 2
  Else
    a = a - 1
  End If
  i = i + 1
Wend
WScript.Echo a
