' The empty program: start-up and shut-down only.
