/* isql 3 cuts a body under ";" at its first inner ";" and fails; the runner ends it after its END. */
create table v (n integer);
commit;
create procedure incrementa as
declare variable x integer;
begin
  x = 1;
  insert into v values (:x);
end;
execute procedure incrementa;
select n from v;
commit;
