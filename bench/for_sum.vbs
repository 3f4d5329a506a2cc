' Counting loop: For with an accumulating assignment, 1,000,000 turns.
total = 0
For i = 1 To 1000000
  total = total + 2
Next
WScript.Echo total
