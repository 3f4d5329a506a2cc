' Builds a 100,000-character text by appending one character at a time.
s = ""
For i = 1 To 100000
  s = s & "x"
Next
WScript.Echo Len(s)
