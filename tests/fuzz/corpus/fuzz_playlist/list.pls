[playlist]
NumberOfEntries=2
File1=a.mp3
File2=C:\Music\b.mp3
Version=2
