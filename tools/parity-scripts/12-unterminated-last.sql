create table u (a integer);
commit;
insert into u values (1)