class A { } 
