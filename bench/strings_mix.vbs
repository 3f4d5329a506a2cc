' Text functions over a 2,000-item list, ten passes: Split takes the items, Len, Mid
' and comparisons score each.
Dim n, list, i, items, item, k, total, pass
n = 2000
list = "w1"
For i = 2 To n
  list = list & ",w" & ((i * 7919) Mod 100000)
Next
items = Split(list, ",")
total = 0
For pass = 1 To 10
  For i = 1 To n
    item = items(i - 1)
    k = Len(item)
    If Mid(item, k, 1) = "7" Then
      total = total + k * 3
    Else
      total = total + k
    End If
    If Mid(item, 2, 2) = Mid(item, k - 1, 2) Then
      total = total + 100
    End If
  Next
Next
WScript.Echo total
